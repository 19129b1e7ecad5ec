// The platform's state, made before the program starts and never destroyed.
#include "platform.h"

#include <new>

namespace {

alignas(PlatformState) unsigned char storage[sizeof(PlatformState)];

} // namespace

PlatformState &platform = *new (storage) PlatformState;
