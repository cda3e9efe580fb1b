#include "support/path_string.h"

#include <cassert>
#include <cstring>

#include "platform/heap_block.h"
#include "platform/path_rules.h"

namespace pw {

using detail::kPathSeparator;

namespace {

// What extension() gives for a name without one; never part of any path's text, never written.
constexpr char kNoExtension[] = "";

int32_t stringLength(const char* text) {
  return text ? static_cast<int32_t>(std::strlen(text)) : 0;
}

char* allocateText(std::size_t size) {
  return static_cast<char*>(detail::allocateBlock(size));
}

}  // namespace

PathString::PathString(const char* text) {
  if (text) assign(text, stringLength(text));
}

PathString::~PathString() {
  release();
}

void PathString::release() {
  detail::freeBlock(text_);
  text_ = nullptr;
  length_ = 0;
}

PathString& PathString::assign(const char* source, int32_t count) {
  if (!source || count <= 0) {
    release();
    return *this;
  }
  // A block that held a path at least as long has room for this one.
  if (length_ < count) {
    release();
    text_ = allocateText(static_cast<std::size_t>(count) + 1);
    if (!text_) return *this;
  }
  std::memcpy(text_, source, static_cast<std::size_t>(count));
  text_[count] = '\0';
  length_ = count;
  return *this;
}

void PathString::append(const char* component) {
  const int32_t componentLength = stringLength(component);
  // Room for the old text, one separator, the component and the NUL.
  char* block = allocateText(static_cast<std::size_t>(length_) + componentLength + 2);
  // Without a new block the path stays as it was, which is still valid and releasable.
  if (!block) return;
  int32_t length = length_;
  if (length > 0) std::memcpy(block, text_, static_cast<std::size_t>(length));
  detail::freeBlock(text_);
  if (length > 0 && block[length - 1] != kPathSeparator) block[length++] = kPathSeparator;
  std::memcpy(block + length, component, static_cast<std::size_t>(componentLength));
  length += componentLength;
  block[length] = '\0';
  text_ = block;
  length_ = length;
}

void PathString::join(const char* component) {
  if (!component || !*component) {
    release();
    return;
  }
  if (detail::isRootedComponent(component)) release();
  append(component);
}

const char* PathString::extension() const {
  if (length_ < 1) return kNoExtension;
  const char* at = text_ + length_ - 1;
  while (at > text_ && *at != '.' && *at != kPathSeparator) --at;
  return *at == '.' ? at : kNoExtension;
}

char* PathString::replaceExtension(const char* newExtension) {
  const char* oldExtension = extension();
  if (*oldExtension) text_[oldExtension - text_] = '\0';
  const int32_t keptLength = stringLength(text_);
  const int32_t addedLength = stringLength(newExtension);
  char* block = allocateText(static_cast<std::size_t>(keptLength) + addedLength + 1);
  if (!block) {
    // The shortened text is still a valid path; only the new extension is missing.
    length_ = keptLength;
    return text_;
  }
  std::memcpy(block, text_ ? text_ : "", static_cast<std::size_t>(keptLength));
  std::memcpy(block + keptLength, newExtension ? newExtension : "",
              static_cast<std::size_t>(addedLength));
  block[keptLength + addedLength] = '\0';
  detail::freeBlock(text_);
  text_ = block;
  length_ = keptLength + addedLength;
  return text_;
}

const char* fileNamePart(const char* path) {
  assert(path);
  for (const char* at = path + std::strlen(path); at > path; --at) {
    if (at[-1] == kPathSeparator) return at;
  }
  return path;
}

}  // namespace pw
