#include "bench_text.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace pw::bench {

namespace {

constexpr const char* kWords[] = {"the",         "licensee",      "may",           "copy",
                                  "and",         "distribute",    "verbatim",      "copies",
                                  "of",          "program's",     "source",        "code",
                                  "as",          "you",           "receive",       "it,",
                                  "in",          "any",           "medium,",       "provided",
                                  "that",        "conspicuously", "appropriately", "publish",
                                  "on",          "each",          "copy",          "an",
                                  "appropriate", "copyright",     "notice;",       "keep",
                                  "intact",      "all",           "notices",       "referring",
                                  "to",          "this",          "License",       "absence",
                                  "warranty.",   "Software",      "Foundation",    "WITHOUT",
                                  "ANY",         "WARRANTY;",     "without",       "even",
                                  "implied",     "fitness",       "for",           "a",
                                  "particular",  "purpose.",      "See",           "GNU",
                                  "General",     "Public",        "more",          "details.",
                                  "modify",      "terms",         "version"};
constexpr std::size_t kWordCount = sizeof kWords / sizeof kWords[0];
constexpr std::size_t kMinLine = 60;
constexpr std::size_t kMaxLine = 75;

}  // namespace

std::string proseLine(std::size_t index) {
  std::string line;
  // A fixed mixing of the index picks the words, so that every run draws the same pages.
  std::size_t state = index * 2654435761u + 12345;
  while (line.size() < kMinLine) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const char* word = kWords[(state >> 33) % kWordCount];
    const std::string next = line.empty() ? word : line + " " + word;
    if (next.size() > kMaxLine) break;
    line = next;
  }
  return line;
}

std::string proseText(std::size_t lines) {
  std::string text;
  text.reserve(lines * (kMaxLine + 2));
  for (std::size_t i = 0; i < lines; ++i) text += proseLine(i) + "\r\n";
  return text;
}

std::string writeTempFile(const std::string& text, const char* suffix) {
  std::string path = "/tmp/pwbench-XXXXXX";
  path += suffix;
  const int fd = mkstemps(path.data(), static_cast<int>(std::char_traits<char>::length(suffix)));
  if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    std::perror("bench text");
    std::exit(1);
  }
  close(fd);
  return path;
}

}  // namespace pw::bench
