// Field names for hosts: the numbered fields by their number, the named ones by their names.
#include <cstring>

#include "api/export_guard.h"
#include "converter/converter.h"

namespace {

constexpr const char* kNumberedNames[pw::kFirstNamedField] = {"0", "1", "2", "3", "4", "5",
                                                              "6", "7", "8", "9", "10"};

const char* fieldName(int index) {
  if (index < 0 || index >= PW_JOB_FIELD_COUNT) return nullptr;
  return index < pw::kFirstNamedField ? kNumberedNames[index]
                                      : pw::kFieldNames[index - pw::kFirstNamedField];
}

}  // namespace

extern "C" {

PW_API int PW_CALL pwFieldIndex(const char* name) {
  return pw::guardExport("pwFieldIndex", -1, [&] {
    if (!name) return -1;
    for (int i = 0; i < PW_JOB_FIELD_COUNT; ++i) {
      if (std::strcmp(name, fieldName(i)) == 0) return i;
    }
    return -1;
  });
}

PW_API const char* PW_CALL pwFieldName(int index) {
  return pw::guardExport("pwFieldName", static_cast<const char*>(nullptr),
                         [&] { return fieldName(index); });
}

}  // extern "C"
