#include "serialkit/dataproc/data_processor.h"

namespace sk {

TskDataProcessor::TskDataProcessor(TComponent* AOwner, platform::TApplication& App)
    : TskDataProtocol(AOwner, App) {
  sLogPrefix = "skDataProc: ";
  SetActive(true);
}

}  // namespace sk
