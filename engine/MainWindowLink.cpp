#include "engine/MainWindowLink.h"

namespace engine {
namespace {

MainWindowLink* g_link = nullptr;

}  // namespace

MainWindowLink* GetMainWindowLink()
{
    return g_link;
}

void SetMainWindowLink(MainWindowLink* link)
{
    g_link = link;
}

}  // namespace engine
