// Saves a screenshot as an uncompressed PNG file, for a person to look at.
#pragma once

#include "x_display.h"

#include <string>

bool SavePng(const Image &image, const std::string &path);
