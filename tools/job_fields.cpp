#include "job_fields.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "encoding.h"

namespace pw::cli {

namespace {

// The numbered field whose first line names the file that "%3" inserts.
constexpr std::size_t kFileNameField = 3;

// nlohmann prefixes its messages with an exception tag that means nothing to a user.
std::string withoutExceptionTag(const std::string& message) {
  if (message.rfind("[json.exception.", 0) == 0) {
    const std::size_t end = message.find("] ");
    if (end != std::string::npos) return message.substr(end + 2);
  }
  return message;
}

std::optional<std::string> scalarText(const nlohmann::json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_number()) return value.dump();
  return std::nullopt;
}

}  // namespace

std::vector<std::string> splitLines(const std::string& value) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = value.find('\n', start);
    std::string line = value.substr(start, end == std::string::npos ? end : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

bool JobFieldSet::set(const std::string& name, std::vector<std::string> lines) {
  const int index = pwFieldIndex(name.c_str());
  if (index < 0) return false;
  lines_[static_cast<std::size_t>(index)] = std::move(lines);
  return true;
}

std::string JobFieldSet::setFromArgument(const std::string& argument) {
  const std::size_t equals = argument.find('=');
  if (equals == std::string::npos) {
    return "--field " + argument + ": expected NAME=VALUE";
  }
  const std::string name = argument.substr(0, equals);
  if (!set(name, splitLines(argument.substr(equals + 1)))) {
    return "--field " + argument + ": unknown field name '" + name + "'";
  }
  return {};
}

std::string JobFieldSet::loadJsonFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return "cannot read " + path + ": " + std::strerror(errno);
  std::ostringstream text;
  text << file.rdbuf();
  return loadJsonText(text.str(), path);
}

std::string JobFieldSet::loadJsonText(const std::string& text, const std::string& origin) {
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception& error) {
    return origin + ": " + withoutExceptionTag(error.what());
  }
  if (!document.is_object()) {
    return origin + ": expected an object of field names, found " +
           std::string(document.type_name());
  }
  for (const auto& [name, value] : document.items()) {
    std::vector<std::string> lines;
    if (auto line = scalarText(value)) {
      lines = splitLines(*line);
    } else if (value.is_array()) {
      for (const nlohmann::json& item : value) {
        auto itemText = scalarText(item);
        if (!itemText) {
          return origin + ": field '" + name + "' holds a " + item.type_name() +
                 " in its array; expected strings";
        }
        for (std::string& part : splitLines(*itemText)) lines.push_back(std::move(part));
      }
    } else {
      return origin + ": field '" + name + "' is a " + value.type_name() +
             "; expected a string or an array of strings";
    }
    if (!set(name, std::move(lines))) return origin + ": unknown field name '" + name + "'";
  }
  return {};
}

void JobFieldSet::transcode(
    const std::function<TranscodeResult(const std::string& line)>& convert,
    const std::function<void(const std::string& field, const TranscodeResult& losses)>& warn) {
  for (std::size_t index = 0; index < lines_.size(); ++index) {
    if (!lines_[index] || index == kFileNameField) continue;
    TranscodeResult losses;
    for (std::string& line : *lines_[index]) {
      TranscodeResult converted = convert(line);
      line = std::move(converted.text);
      losses.unmappable += converted.unmappable;
      losses.malformed += converted.malformed;
    }
    if (losses.unmappable + losses.malformed > 0)
      warn(pwFieldName(static_cast<int>(index)), losses);
  }
}

bool JobFieldSet::empty() const {
  for (const auto& lines : lines_) {
    if (lines) return false;
  }
  return true;
}

const JobFields& JobFieldSet::view() {
  for (std::size_t index = 0; index < lines_.size(); ++index) {
    if (!lines_[index]) {
      fields_.entries[index] = nullptr;
      continue;
    }
    // Line-list layout: each line ends in NUL and an empty line ends the list, so a blank line
    // inside a value is kept as a space and trailing blank lines are dropped.
    const std::vector<std::string>& lines = *lines_[index];
    std::size_t count = lines.size();
    while (count > 0 && lines[count - 1].empty()) --count;
    std::string& layout = layouts_[index];
    layout.clear();
    for (std::size_t i = 0; i < count; ++i) {
      layout += lines[i].empty() ? std::string(" ") : lines[i];
      layout += '\0';
    }
    layout += '\0';
    fields_.entries[index] = layout.c_str();
  }
  return fields_;
}

}  // namespace pw::cli
