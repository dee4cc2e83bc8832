#include "app/app_context.h"

#include "extensions/extension.h"

namespace kiln {

AppContext* g_appContext = nullptr;

AppContext::AppContext(std::string folder) : exeFolder(std::move(folder)) {}

AppContext::~AppContext() = default;

}  // namespace kiln
