#include "framework/win/CMFCVisualManager.h"

#include <utility>

namespace {

std::unique_ptr<CMFCVisualManager>& Current()
{
    static std::unique_ptr<CMFCVisualManager> manager;
    return manager;
}

}  // namespace

CMFCVisualManager* CMFCVisualManager::GetInstance()
{
    return Current().get();
}

void CMFCVisualManager::Install(std::unique_ptr<CMFCVisualManager> manager)
{
    Current() = std::move(manager);
}
