#include "dataproc/data_processor.h"

namespace sk {

TskDataProcessor::TskDataProcessor(TComponent* AOwner) : TskDataProtocol(AOwner) {
  sLogPrefix = "skDataProc: ";
  SetActive(true);
}

}  // namespace sk
