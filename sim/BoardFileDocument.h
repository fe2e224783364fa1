// A board file's JSON (RFC 8259, parsed by nlohmann's library) with the place where every value
// and every object key starts, so that a loader that dislikes a value long after parsing can point
// at it the way a syntax error is pointed at: "<source>:<line>:<column>: <what>".
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace sim {

// Objects keep their keys in document order, so the first unknown key is the first one written.
using BoardJson = nlohmann::ordered_json;

class BoardDocument {
public:
  // Arrays and objects open at once; deeper input is refused, so that no walk of the tree can run
  // out of stack.
  static constexpr size_t MaxDepth = 64;

  // Throws BoardFileError for text that is not one JSON value, a key given twice in one object, a
  // byte order mark, or nesting deeper than MaxDepth. Text must outlive the document.
  BoardDocument(std::string_view Text, std::string_view Source);

  const BoardJson& Root() const { return root_; }

  // "<source>:<line>:<column>" of the first byte of V, a value of this document, or of the key that
  // names V inside its object. Lines count from 1; columns count characters of UTF-8 text, as an
  // editor shows them.
  std::string Where(const BoardJson& V) const;
  std::string KeyWhere(const BoardJson& V) const;

  // Byte offsets of a value and of the key naming it (0 outside an object).
  struct Start {
    size_t Value = 0;
    size_t Key = 0;
  };

private:
  std::string Locate(size_t Offset) const;

  std::string_view text_;
  std::string_view source_;
  BoardJson root_;
  std::unordered_map<const BoardJson*, Start> starts_;
};

// Text found in a board file, for a message: in double quotes, escaped so that a quote or a
// control character cannot garble the one-line error, and cut short after 40 bytes. Text that may
// not be UTF-8 has its other bytes escaped as well.
std::string QuoteText(std::string_view Text, bool EscapeNonAscii = false);

} // namespace sim
