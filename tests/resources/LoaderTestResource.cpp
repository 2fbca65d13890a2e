#include "LoaderTestResource.h"

#include <zyn/io/File.h>

namespace ZynTest {

namespace {

LoaderTestManager* g_pManager = nullptr;
std::thread::id g_FirstAsker;
bool g_bAsked = false;

Zyn::ResourceManagerBase* ManagerOfRecord() {
    if (g_pManager && !g_bAsked) {
        g_bAsked = true;
        g_FirstAsker = std::this_thread::get_id();
    }
    return g_pManager;
}

}  // namespace

ZYN_IMPLEMENT_CLASS(LoaderTestResource, "LoaderTestResource", nullptr, &ManagerOfRecord, nullptr,
                    Zyn::Resource)

bool LoaderTestResource::LoadFromFile(Zyn::File& file) {
    ++m_Loads;
    char buf[64] = {};
    file.Read(buf, sizeof buf - 1);
    if (std::string(buf).rfind("bad", 0) == 0) return false;
    m_Text = buf;
    return true;
}

ScopedLoaderTestManager::ScopedLoaderTestManager() : m_pManager(new LoaderTestManager) {
    g_pManager = m_pManager;
    g_bAsked = false;
    g_FirstAsker = std::thread::id();
}

ScopedLoaderTestManager::~ScopedLoaderTestManager() {
    g_pManager = nullptr;
    delete m_pManager;
}

std::thread::id ScopedLoaderTestManager::FirstAsker() { return g_FirstAsker; }

}  // namespace ZynTest
