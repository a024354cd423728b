#pragma once
// The ready-to-use packet processor: a TskDataProtocol with its own log prefix, active from
// construction.
#include <string>

#include "serialkit/dataproc/data_protocol.h"

namespace sk {

class TskDataProcessor : public TskDataProtocol {
 public:
  explicit TskDataProcessor(TComponent* AOwner = nullptr,
                            platform::TApplication& App = platform::Application());
  std::string ClassName() const override { return "TskDataProcessor"; }
};

}  // namespace sk
