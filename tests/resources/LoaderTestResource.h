// A small resource class for the loader tests: it loads the text of its file
// (text starting with "bad" does not load) and counts its loads and its live
// instances. Its class record names a manager only while a test has put one
// in place with ScopedLoaderTestManager.
#pragma once

#include <string>
#include <thread>

#include <zyn/resources/Resource.h>
#include <zyn/resources/ResourceManager.h>

namespace ZynTest {

class LoaderTestResource : public Zyn::Resource {
    ZYN_DECLARE_CLASS(LoaderTestResource)

public:
    explicit LoaderTestResource(const char* name = "") : Resource(name) { ++ms_Alive; }
    ~LoaderTestResource() override { --ms_Alive; }
    bool LoadFromFile(Zyn::File& file) override;

    std::string m_Text;
    int m_Loads = 0;
    static inline int ms_Alive = 0;
};

typedef Zyn::ResourceManager<LoaderTestResource> LoaderTestManager;

/// Makes a manager the class record's manager for the scope's lifetime; it is
/// not entered in the Root. Records the thread that first asked for it.
class ScopedLoaderTestManager {
public:
    ScopedLoaderTestManager();
    ~ScopedLoaderTestManager();
    ScopedLoaderTestManager(const ScopedLoaderTestManager&) = delete;
    ScopedLoaderTestManager& operator=(const ScopedLoaderTestManager&) = delete;
    LoaderTestManager* operator->() { return m_pManager; }
    LoaderTestManager* Get() { return m_pManager; }
    /// Id of the thread of the first GetResourceManager call; default when none came.
    static std::thread::id FirstAsker();

private:
    LoaderTestManager* m_pManager;
};

}  // namespace ZynTest
