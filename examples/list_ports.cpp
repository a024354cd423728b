// Lists the machine's serial ports as a port's device list has them: the entry's name, the
// port name to open and the description of the device behind it.
#include <serialkit/serialkit.h>

#include <cstdio>

int main() {
  sk::TskComm port;
  // With descriptions: the quick mode gives the names only.
  port.SetEnumPorts(sk::epFullInfo);
  sk::TskDeviceItems items;
  port.GetDeviceList(&items);
  for (const sk::TskDeviceItem& item : items)
    std::printf("%-10s %-16s %s\n", item.Name.c_str(), item.Object->PortName.c_str(),
                item.Object->Description.c_str());
  if (items.empty()) std::printf("no serial ports\n");
  return 0;
}
