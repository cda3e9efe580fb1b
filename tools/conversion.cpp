#include "conversion.h"

#include "error_text.h"
#include "output_target.h"

namespace pw::cli {

ConversionResult convertFile(const std::string& input, const std::string& output,
                             const ConversionSettings& settings, Console& console) {
  ConversionResult result;
  ConversionReading reading(input, settings.decoding);

  // The confinement belongs to the thread, and conversions run on the batch's worker threads.
  std::vector<const char*> readable;
  for (const std::string& directory : settings.readableDirectories) {
    readable.push_back(directory.c_str());
  }
  if (!pwSetReadableDirectories(readable.empty() ? nullptr : readable.data(),
                                static_cast<uint32_t>(readable.size()))) {
    result.problem = "cannot confine reading: " + lastErrorText(pwGetLastError());
    return result;
  }

  const OutputTarget target(output, settings.format);
  result.problem = target.problem();
  if (!result.problem.empty()) return result;
  PwFaxDeviceOptions deviceOptions = settings.device;
  deviceOptions.outputPath = target.devicePath().c_str();
  PwSurface* device = pwCreateFaxDevice(&deviceOptions);
  if (!device) {
    result.problem = "cannot create the fax device: " + lastErrorText(pwGetLastError());
    return result;
  }
  uint32_t pages = 0;
  const int converted = pwConvert(&settings.params, device, reading.textName(), settings.fields,
                                  reading.options(), &pages);
  const uint32_t lastError = pwGetLastError();
  for (const std::string& warning : reading.lossWarnings()) {
    console.message(Severity::kWarning, warning);
  }
  uint32_t written = 0;
  uint32_t documentError = 0;
  (void)pwFaxDeviceStatus(device, &written, &documentError);

  // The converter does not look at what ending pages and the document returned: the device's
  // own failure is the cause, also of a conversion that failed at its start.
  if (documentError != 0) {
    result.problem = target.failure(documentError, written);
  } else if (!converted) {
    result.problem = reading.limitProblem();
    if (result.problem.empty()) result.problem = "conversion failed: " + lastErrorText(lastError);
  } else if (pages == 0) {
    result.problem = "no printable text, nothing written";
  } else {
    result.problem = target.keep(device);
    result.ok = result.problem.empty();
    result.pages = pages;
    result.written = target.writtenNames(pages);
  }
  // A document not kept is abandoned here, leaving any older output as it was.
  pwDestroySurface(device);
  return result;
}

std::string pagesText(uint32_t pages) {
  return std::to_string(pages) + (pages == 1 ? " page" : " pages");
}

}  // namespace pw::cli
