#include "serialkit/log/custom_log_file.h"

namespace sk {

void TskCustomLogFile::ReportFatalError(std::uint32_t Code, std::uint32_t Detail,
                                        const std::string& Msg) {
  bool raise = true;
  if (fOnFatalError) fOnFatalError(this, Code, Detail, Msg, raise);
  if (raise) throw Exception(Msg);
}

void TskCustomLogFile::ReportException(std::exception_ptr E) const noexcept {
  app_.ShowException(E);
}

}  // namespace sk
