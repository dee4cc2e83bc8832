// The stand-in runtime's page: the one it plays itself from the scenario.
#include "page_driver.h"

namespace standin {

std::unique_ptr<PageDriver> NewPageDriver(const BrowserOptions&) { return std::make_unique<PageDriver>(); }

}  // namespace standin
