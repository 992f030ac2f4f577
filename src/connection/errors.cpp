// Error state of the control: getters that clear, fault recording, library errors.

#include "connection/qvsource.h"
#include "presentation/strutil.h"

namespace qv {

std::string QVSource::ErrorText() { return std::exchange(errorText_, std::string()); }
int32_t QVSource::ErrorNum() { return std::exchange(errorNum_, 0); }
std::string QVSource::ErrorStep() { return std::exchange(errorStep_, std::string()); }

void QVSource::RecordFault(const char* what) {
  errorNum_ = kFaultNum;
  errorText_ = what;
}

void QVSource::Refuse(std::string text) {
  errorNum_ = kRefusalNum;
  errorText_ = std::move(text);
}

void QVSource::QVParamError() {
  int32_t code = 0, num = 0;
  std::string text(DllParam::kErrorTextBuffer, ' ');
  lib_->GetLastError(code, num, text);
  errorNum_ = num != 0 ? num : kLibraryErrorBase + code;
  errorText_ = BufferText(text);
}

std::string QVSource::BufferText(std::string_view buffer) {
  return Trim(dllparam::CutAtNul(buffer));
}

}  // namespace qv
