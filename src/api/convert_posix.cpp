// pwConvert, the conversion that reads through its host, and pwErrorText.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "api/export_guard.h"
#include "api/surface_handle.h"
#include "converter/converter.h"
#include "eventlog/event_reporter.h"
#include "platform/errno_map.h"
#include "platform/last_error.h"

namespace pw {

namespace {

// The longest path a host's locateFile may give, with its NUL.
constexpr uint32_t kMaxLocatedPath = 4096;

// A callback that fails without a cause still fails.
void keepCause(uint32_t fallback) {
  if (lastError() == kErrorSuccess) setLastError(fallback);
}

class HostStreamReader final : public FileReader {
 public:
  explicit HostStreamReader(const PwTextStream& stream) : stream_(stream) {}
  ~HostStreamReader() override {
    LastErrorKeeper keep;
    if (stream_.close) stream_.close(stream_.user);
  }
  HostStreamReader(const HostStreamReader&) = delete;
  HostStreamReader& operator=(const HostStreamReader&) = delete;

  bool read(void* buffer, uint32_t size, uint32_t* got) override {
    *got = 0;
    setLastError(kErrorSuccess);
    const int32_t count = stream_.read(stream_.user, buffer, size);
    if (count < 0) {
      keepCause(kErrorReadFault);
      return false;
    }
    // More than was asked for would mean bytes written past the buffer: nothing to trust.
    if (static_cast<uint32_t>(count) > size) return failWith(kErrorInvalidParameter) != 0;
    *got = static_cast<uint32_t>(count);
    return true;
  }

 private:
  PwTextStream stream_;
};

class HostTextOpener final : public FileOpener {
 public:
  HostTextOpener(const PwConvertOptions& options, uint32_t kind) : options_(options), kind_(kind) {}

  std::unique_ptr<FileReader> openForReading(const char* path) override {
    PwTextStream stream{};
    setLastError(kErrorSuccess);
    if (!options_.openText(options_.user, kind_, path, &stream)) {
      keepCause(kErrorFileNotFound);
      return nullptr;
    }
    auto reader = std::make_unique<HostStreamReader>(stream);
    if (!stream.read) {
      failWith(kErrorInvalidParameter);
      return nullptr;  // the reader closes the stream
    }
    return reader;
  }

 private:
  const PwConvertOptions& options_;
  uint32_t kind_;
};

class HostLocator final : public NameLocator {
 public:
  explicit HostLocator(const PwConvertOptions& options) : options_(options) {}

  bool locate(const char* name, std::string* path) override {
    char located[kMaxLocatedPath] = "";
    setLastError(kErrorSuccess);
    if (!options_.locateFile(options_.user, name, located, sizeof located)) {
      keepCause(kErrorFileNotFound);
      return false;
    }
    located[sizeof located - 1] = '\0';
    path->assign(located);
    return true;
  }

 private:
  const PwConvertOptions& options_;
};

}  // namespace

}  // namespace pw

using namespace pw;

extern "C" {

PW_API int pwConvert(const RenderParams* params, PwDC dc, const char* textPath,
                     const JobFields* fields, const PwConvertOptions* options,
                     uint32_t* pageCountOut) {
  if (pageCountOut) *pageCountOut = 0;
  return guardExport(
      "pwConvert", 0,
      [&] {
        if (!dc || !dc->surface) return failWith(kErrorInvalidParameter);
        const PwConvertOptions none{};
        const PwConvertOptions& chosen = options ? *options : none;
        HostTextOpener texts(chosen, PW_TEXT_MAIN);
        HostTextOpener inserts(chosen, PW_TEXT_INSERT);
        HostLocator names(chosen);
        ConversionServices services;
        if (chosen.openText) {
          services.files = &texts;
          services.inserts = &inserts;
        }
        if (chosen.locateFile) services.names = &names;
        services.keepAllText = (chosen.flags & PW_CONVERT_KEEP_ALL_TEXT) != 0;
        return convertText(params, dc->surface.get(), textPath, 0, fields, pageCountOut, services);
      },
      textPath);
}

PW_API uint32_t pwErrorText(uint32_t code, char* buffer, uint32_t size) {
  if (buffer && size > 0) *buffer = '\0';
  return guardExport("pwErrorText", uint32_t{0}, [&] {
    const std::string text = errorText(code);
    if (buffer && size > 0) {
      const std::size_t length = std::min<std::size_t>(text.size(), size - 1);
      std::memcpy(buffer, text.data(), length);
      buffer[length] = '\0';
    }
    return static_cast<uint32_t>(text.size());
  });
}

PW_API uint32_t pwErrorFromErrno(int err) {
  return guardExport("pwErrorFromErrno", uint32_t{kErrorGenFailure},
                     [&] { return win32FromErrno(err); });
}

}  // extern "C"
