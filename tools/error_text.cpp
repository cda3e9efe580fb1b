#include "error_text.h"

#include <cerrno>
#include <cstring>

namespace pw::cli {

namespace {

struct CodeErrno {
  uint32_t code;
  int err;
};

// The Win32 codes the module and the fax device leave, each with the errno of the same meaning.
constexpr CodeErrno kCodes[] = {
    {2, ENOENT},         {3, ENOENT},   {4, EMFILE},      {5, EACCES},      {6, EBADF},
    {8, ENOMEM},         {14, ENOMEM},  {19, EROFS},      {29, EIO},        {30, EIO},
    {32, ETXTBSY},       {33, EAGAIN},  {50, ENOTSUP},    {80, EEXIST},     {87, EINVAL},
    {109, EPIPE},        {112, ENOSPC}, {145, ENOTEMPTY}, {170, EBUSY},     {183, EEXIST},
    {206, ENAMETOOLONG}, {223, EFBIG},  {267, EISDIR},    {995, ECANCELED}, {1113, EILSEQ},
    {1921, ELOOP},
};

}  // namespace

std::string lastErrorText(uint32_t code) {
  for (const CodeErrno& pair : kCodes) {
    if (pair.code == code) return std::strerror(pair.err);
  }
  return "error " + std::to_string(code);
}

}  // namespace pw::cli
