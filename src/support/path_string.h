// File paths built in a heap block: a directory joined with a name, extensions added or removed.
#pragma once

#include <cstdint>

namespace pw {

/// A path held as a character count and an owned, NUL-terminated heap copy of its text. Only the
/// platform's separator (see path_rules.h) divides components. An empty path may have no text.
/// No operation sets the last-error value on purpose; a failed allocation leaves a path that can
/// still be destroyed.
class PathString {
 public:
  /// An empty path: length() 0, text() null.
  PathString() = default;
  /// A copy of text; null or "" gives an empty path with text() null.
  explicit PathString(const char* text);
  ~PathString();
  PathString(const PathString&) = delete;
  PathString& operator=(const PathString&) = delete;

  /// Replaces the path with the first count characters of source (count is its length). A null
  /// source or a count of 0 or less empties the path; so does a failed allocation.
  PathString& assign(const char* source, int32_t count);
  /// Adds a non-empty component, with one separator between unless the path is empty or already
  /// ends in one. The component's own first character is not looked at.
  void append(const char* component);
  /// Combines the path with component: null or "" empties the path, a rooted component replaces
  /// it, anything else is appended.
  void join(const char* component);
  /// The extension inside text(), from its dot to the end, or a static "" when the last component
  /// has no dot.
  [[nodiscard]] const char* extension() const;
  /// Cuts the extension off and appends newExtension (which brings its own dot; null only cuts).
  /// Returns the new text(), which is non-null unless the heap failed.
  char* replaceExtension(const char* newExtension);

  [[nodiscard]] int32_t length() const { return length_; }
  /// The path's text, or null for an empty path that was never given a block.
  [[nodiscard]] const char* text() const { return text_; }

 private:
  void release();

  int32_t length_ = 0;
  char* text_ = nullptr;
};

/// The file name inside path (a NUL-terminated string, not null): the part after its last
/// separator, the whole string when it has none, or the "" at its end when it ends in one.
[[nodiscard]] const char* fileNamePart(const char* path);

}  // namespace pw
