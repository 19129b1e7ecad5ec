// Lines laid out as a table that Markdown does not read as one: a delimiter row whose cells do
// not match the header's makes the whole table a paragraph, and the page shows its pipes as text.
"use strict";

module.exports = {
  names: ["table-not-read"],
  description: "Table whose delimiter row does not match its header",
  tags: ["table"],
  parser: "micromark",
  function: (params, onError) => {
    const walk = (tokens) => {
      for (const token of tokens) {
        if (token.type === "paragraph" && /^\s*\|.*\|\s*$/m.test(token.text)) {
          onError({ lineNumber: token.startLine, detail: "read as a paragraph, not a table" });
        }
        walk(token.children);
      }
    };
    walk(params.parsers.micromark.tokens);
  },
};
