#include <zyn/app/SaveManager.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <strings.h>
#include <vector>

#include <boost/filesystem.hpp>

#include <zyn/core/BasicSerializator.h>
#include <zyn/core/Class.h>
#include <zyn/core/Log.h>
#include <zyn/core/Property.h>
#include <zyn/core/Root.h>
#include <zyn/io/DiskFile.h>
#include <zyn/io/VectorFile.h>
#include <zyn/platform/Folders.h>

namespace fs = boost::filesystem;
using boost::system::error_code;

namespace Zyn {

ZYN_IMPLEMENT_CLASS(SaveManager, "SaveManager", nullptr, nullptr, &SaveManager::RegisterProps, DynGroupObject)

namespace {

const char kProfileSuffix[] = ".profile";
const char kSettingSuffix[] = ".setting";
const char kTempSuffix[] = ".tmp";
// Both suffixes are 8 characters; a file name component holds at most 255.
const size_t kMaxObjectNameLength = 255 - (sizeof kProfileSuffix - 1);
// Far beyond any real profile; a bigger file is not ours and is not read.
const uintmax_t kMaxObjectFileBytes = 16u << 20;
// general.dat holds one length and one object name.
const uintmax_t kMaxGeneralFileBytes = 4096;

// Object names become file names inside the save directory: nothing that
// could climb out of it or name the directory itself.
bool IsSafeFileName(const std::string& name) {
    return !name.empty() && name.size() <= kMaxObjectNameLength && name.find('/') == std::string::npos &&
           name.find("..") == std::string::npos && name.find('\0') == std::string::npos;
}

bool EndsWith(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

enum class WriteResult { kOk, kOpenFailed, kWriteFailed };

// The whole file in one go; a file that was only partly written is reported.
WriteResult WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return WriteResult::kOpenFailed;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    // A full disk may only show when the last block goes out at close.
    ok = std::fclose(f) == 0 && ok;
    return ok ? WriteResult::kOk : WriteResult::kWriteFailed;
}

bool IsRegularFile(const std::string& path, uintmax_t& size) {
    error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec || !fs::is_regular_file(st)) return false;
    size = fs::file_size(path, ec);
    return !ec;
}

}  // namespace

SaveManager::SaveManager() : DynGroupObject("SaveManager") {
    m_SavePath[0] = '\0';
    // The Root first: exit handlers run in reverse, so it outlives the manager.
    Root* root = Singleton<Root>::Get();
    std::atexit(&Singleton<SaveManager>::_destroy);
    SetGroupCount(2);
    SetupGroup(kProfiles, &m_Profiles);
    SetupGroup(kSettings, &m_Settings);
    root->InsertObject(this, -1, 0, nullptr);
    LogSend(kLogInfo, "SaveManager created");
}

SaveManager::~SaveManager() {
    if (m_bSaveOnDestruction) (void)Save(2, true);
    m_pCurProfile = nullptr;
    // The containers are members: empty them while they still exist.
    ClearGroups();
    UnlinkFromParents();
}

void SaveManager::UnlinkFromParents() {
    if (Singleton<Root>::IsDestroyed()) {
        // At exit the Root (our only parent) is gone; its links are plain memory.
        while (m_pParents) {
            ParentLink* next = m_pParents->m_pNext;
            delete m_pParents;
            m_pParents = next;
        }
        m_ParentCount = 0;
        return;
    }
    while (m_pParents) {
        ParentLink* head = m_pParents;
        head->m_pParent->RemoveObject(this, head->m_Group);
        if (m_pParents == head) {
            m_pParents = head->m_pNext;
            --m_ParentCount;
            delete head;
        }
    }
}

void SaveManager::RegisterProps(Class* cls) {
    cls->InsertGroupProp(new GroupProperty("Profiles", "", kProfiles, &Object::sm_Class));
    cls->InsertGroupProp(new GroupProperty("Settings", "", kSettings, &Object::sm_Class));
    cls->InsertValueProp(new GetSetPointerProp<SaveManager, Object>(
        "Cur Profile", "Pointer to the current profile", &SaveManager::GetCurProfile,
        &SaveManager::SetCurProfile, 0));
}

bool SaveManager::HasSavePath() const { return std::strlen(m_SavePath) >= 2; }

bool SaveManager::IsInProfiles(Object* obj) const {
    for (Object* o : m_Profiles.GetList())
        if (o == obj) return true;
    return false;
}

void SaveManager::Load(const char* appName, const char* subName) {
    const std::string app = appName ? appName : "";
    const std::string sub = subName ? subName : "";
    // The sub-name comes from a data file: it must not lead out of the folder.
    if (app.find('/') != std::string::npos || sub.find('/') != std::string::npos) {
        LogSend(kLogWarning, "SaveManager:Load failed - unsafe save directory name: %s_%s", app.c_str(),
                sub.c_str());
        return;
    }
    const std::string prefs = Folders::GetPreferencesFolder();
    std::string path;
    if (prefs.empty()) {
        LogSend(kLogInfo, "Preferences directory not found !! saveing settings in app's directory");
        path = app + "_" + sub;
    } else {
        path = prefs + "/" + app + "_" + sub;
    }
    if (path.size() >= kSavePathSize) {
        LogSend(kLogWarning, "SaveManager:Load failed - save path too long: %s", path.c_str());
        return;
    }
    std::memcpy(m_SavePath, path.c_str(), path.size() + 1);

    error_code ec;
    // A fresh account may not have its configuration folder yet.
    if (!prefs.empty() && !fs::exists(prefs, ec)) fs::create_directories(prefs, ec);
    if (fs::create_directory(path, ec) && !ec)
        LogSend(kLogInfo, "SaveManager: Directory Created: %s", m_SavePath);
    else
        LogSend(kLogInfo, "SaveManager: Could not create dir or dir exists: %s", m_SavePath);
    LoadEverything();
}

void SaveManager::LoadEverything() {
    if (!HasSavePath()) {
        LogSend(kLogWarning, "SaveManager:LoadEverything failed due to uninitialized save path...");
        return;
    }
    const std::string base = m_SavePath;
    error_code ec;
    if (!fs::exists(base, ec)) {
        LogSend(kLogWarning, "SaveManager:LoadEverything failed - save path does not exist");
        return;
    }

    auto loadFile = [this, &base](const std::string& fileName, int group, const char* loadedFormat,
                                  const char* failedFormat) {
        const std::string path = base + "/" + fileName;
        uintmax_t size = 0;
        Object* obj = nullptr;
        if (IsRegularFile(path, size) && size <= kMaxObjectFileBytes) {
            DiskFile file(path.c_str(), "rb");
            if (file.IsOpen()) {
                BasicSerializator serializator(&file);
                obj = serializator.LoadHierarchy();
            }
        }
        if (!obj) {
            LogSend(kLogWarning, failedFormat, fileName.c_str());
            return;
        }
        LogSend(kLogInfo, loadedFormat, fileName.c_str());
        // Held across the insertion: a refused object dies here, an accepted
        // one is left to its group.
        obj->AddRef();
        InsertObject(obj, group, 0, nullptr);
        obj->Release();
    };

    int savedFiles = 0;
    try {
        fs::directory_iterator it(base, ec);
        const fs::directory_iterator end;
        for (; !ec && it != end; it.increment(ec)) {
            error_code statusError;
            // Directories, and also pipes and devices: opening those could block.
            if (!fs::is_regular_file(it->status(statusError)) || statusError) continue;
            const std::string name = it->path().filename().string();
            if (name.size() <= 8) continue;
            if (EndsWith(name, kProfileSuffix) || EndsWith(name, kSettingSuffix)) ++savedFiles;
            if (EndsWith(name, kProfileSuffix))
                loadFile(name, kProfiles, "Profile object loaded: %s", "Failed to load profile: %s");
            else if (EndsWith(name, kSettingSuffix))
                loadFile(name, kSettings, "Setting object loaded: %s", "Failed to load settings object: %s");
        }
        if (ec) LogSend(kLogWarning, "%s", ec.message().c_str());
    } catch (const std::exception& e) {
        LogSend(kLogWarning, "%s", e.what());
    }

    m_pCurProfile = m_Profiles.GetList().empty() ? nullptr : m_Profiles.GetList().front();

    const std::string generalPath = base + "/general.dat";
    uintmax_t size = 0;
    std::unique_ptr<DiskFile> general;
    if (IsRegularFile(generalPath, size)) general.reset(new DiskFile(generalPath.c_str(), "rb"));
    if (!general || !general->IsOpen()) {
        // In a folder nothing was ever saved to, its absence is the first run,
        // not a fault: every run of a program that never saves would warn.
        const bool fresh = savedFiles == 0 && !fs::exists(generalPath, ec);
        LogSend(fresh ? kLogInfo : kLogWarning, "SaveManager:LoadEverything - can't open file: %s",
                generalPath.c_str());
        return;
    }
    std::string name;
    if (size > kMaxGeneralFileBytes || !general->ReadString(name)) {
        LogSend(kLogWarning, "SaveManager:LoadEverything - can't read file: %s", generalPath.c_str());
        return;
    }
    if (!name.empty()) m_pCurProfile = FindObject(name.c_str(), nullptr, kProfiles);
}

bool SaveManager::Save(unsigned int, bool) {
    if (!HasSavePath()) {
        LogSend(kLogWarning, "SaveManager:Save failed due to uninitialized save path...");
        return false;
    }
    const std::string base = m_SavePath;

    // Everything is built in memory first, so that no file is touched unless
    // every object could be written.
    struct Pending {
        std::string path;
        std::vector<unsigned char> bytes;
    };
    std::vector<Pending> files;
    std::map<std::string, size_t> byPath;
    auto add = [&files, &byPath](std::string path, std::vector<unsigned char> bytes) {
        // Two objects of one name share a file: the later one wins.
        auto found = byPath.find(path);
        if (found != byPath.end()) {
            files[found->second].bytes = std::move(bytes);
            return;
        }
        byPath.emplace(path, files.size());
        files.push_back({std::move(path), std::move(bytes)});
    };

    VectorFile general;
    general.WriteString(m_pCurProfile ? m_pCurProfile->GetName() : std::string());
    add(base + "/general.dat", general.GetVector());

    const std::pair<StdListDynGroup<Object>*, const char*> groups[] = {{&m_Profiles, kProfileSuffix},
                                                                       {&m_Settings, kSettingSuffix}};
    for (const auto& g : groups) {
        for (Object* obj : g.first->GetList()) {
            const std::string& name = obj->GetName();
            // Names are checked on insertion, but an object may be renamed since.
            if (!IsSafeFileName(name)) {
                LogSend(kLogWarning, "SaveManager:Save failed - unsafe object name: %s", name.c_str());
                return false;
            }
            VectorFile data;
            BasicSerializator serializator(&data);
            if (!serializator.SaveHierarchy(obj)) {
                LogSend(kLogWarning, "SaveManager:Save failed - can't save object: %s", name.c_str());
                return false;
            }
            add(base + "/" + name + g.second, std::move(data.GetVector()));
        }
    }

    std::vector<std::string> temps;
    auto removeTemps = [&temps](size_t from) {
        for (size_t i = from; i < temps.size(); ++i) {
            error_code ignored;
            fs::remove(temps[i], ignored);
        }
    };
    for (const Pending& p : files) {
        const std::string temp = p.path + kTempSuffix;
        const WriteResult result = WriteWholeFile(temp, p.bytes);
        if (result != WriteResult::kOk) {
            if (result == WriteResult::kOpenFailed) {
                LogSend(kLogWarning, "SaveManager:Save failed - can't open file: %s", temp.c_str());
            } else {
                LogSend(kLogWarning, "SaveManager:Save failed - can't write file: %s", temp.c_str());
                error_code ignored;
                fs::remove(temp, ignored);
            }
            removeTemps(0);
            return false;
        }
        temps.push_back(temp);
    }

    // general.dat goes last, so it never names a profile whose file is not
    // yet in place.
    for (size_t n = 0; n < files.size(); ++n) {
        const size_t i = (n + 1) % files.size();
        error_code ec;
        fs::rename(temps[i], files[i].path, ec);
        if (ec) {
            LogSend(kLogWarning, "SaveManager:Save failed - can't replace file: %s (%s)",
                    files[i].path.c_str(), ec.message().c_str());
            for (size_t m = n; m < files.size(); ++m) {
                error_code ignored;
                fs::remove(temps[(m + 1) % files.size()], ignored);
            }
            return false;
        }
    }
    return true;
}

bool SaveManager::IsProfileNameValid(const char* name) {
    if (!name || !IsSafeFileName(name)) return false;
    for (Object* o : m_Profiles.GetList())
        if (strcasecmp(o->GetName().c_str(), name) == 0) return false;
    return true;
}

int SaveManager::InsertObject(Object* obj, int group, unsigned int position, void* extra) {
    if (!obj) {
        LogSend(kLogWarning, "SaveManager::InsertObject failed - no object");
        return -2;
    }
    const std::string name = obj->GetName();
    if (!IsSafeFileName(name)) {
        LogSend(kLogWarning, "SaveManager::InsertObject failed - unsafe object name: %s", name.c_str());
        return -2;
    }
    if (!IsProfileNameValid(name.c_str())) {
        LogSend(kLogWarning, "SaveManager::InsertObject failed - name already used by a profile: %s",
                name.c_str());
        return -2;
    }
    const int result = DynGroupObject::InsertObject(obj, group, position, extra);
    if (!m_pCurProfile && !m_Profiles.GetList().empty()) m_pCurProfile = m_Profiles.GetList().front();
    // Without a save path there is no folder to put the directory in.
    if (result == kProfiles && HasSavePath()) {
        error_code ec;
        fs::create_directory(std::string(m_SavePath) + "/" + name + ".files", ec);
    }
    return result;
}

int SaveManager::RemoveObject(Object* obj, int group) {
    if (!obj) return 0;
    if (obj == m_pCurProfile) m_pCurProfile = nullptr;
    // Taken now: the removal may destroy the object.
    const std::string name = obj->GetName();
    const bool wasProfile = IsInProfiles(obj);
    const size_t profilesBefore = m_Profiles.GetList().size();
    const int result = DynGroupObject::RemoveObject(obj, group);
    if (!m_Profiles.GetList().empty()) m_pCurProfile = m_Profiles.GetList().front();
    // Only a profile's files go: a settings object of the same name must not
    // take a profile's data with it.
    if (result > 0 && wasProfile && m_Profiles.GetList().size() < profilesBefore && HasSavePath() &&
        IsSafeFileName(name)) {
        error_code ec;
        fs::remove(std::string(m_SavePath) + "/" + name + kProfileSuffix, ec);
        RemoveProfileFile(nullptr, name.c_str());
    }
    return result;
}

void SaveManager::Clear() {
    m_pCurProfile = nullptr;
    m_Profiles.Clear(this, kProfiles);
    m_Settings.Clear(this, kSettings);
}

void SaveManager::SetCurProfile(Object* obj) {
    if (!obj) {
        m_pCurProfile = nullptr;
        return;
    }
    if (FindObject(obj->GetName().c_str(), obj->GetClass(), kProfiles) == obj) m_pCurProfile = obj;
}

File* SaveManager::OpenProfileFile(const char* fileName, const char* mode, const char* profileName) {
    if (!profileName && !m_pCurProfile) return nullptr;
    const std::string profile = profileName ? profileName : m_pCurProfile->GetName();
    if (!HasSavePath()) {
        LogSend(kLogWarning, "SaveManager::OpenProfileFile failed due to uninitialized save path...");
        return nullptr;
    }
    if (!fileName || !mode || !IsSafeFileName(profile) || !IsSafeFileName(fileName)) {
        LogSend(kLogWarning, "SaveManager::OpenProfileFile failed - unsafe file name: %s, %s",
                fileName ? fileName : "(null)", profile.c_str());
        return nullptr;
    }
    const std::string dir = std::string(m_SavePath) + "/" + profile + ".files";
    error_code ec;
    fs::create_directory(dir, ec);
    DiskFile* file = new DiskFile((dir + "/" + fileName).c_str(), mode);
    if (file->IsOpen()) return file;
    delete file;
    return nullptr;
}

bool SaveManager::RemoveProfileFile(const char* fileName, const char* profileName) {
    LogSend(kLogInfo, "Removing profile files: %s, %s", fileName ? fileName : "(null)",
            profileName ? profileName : "(null)");
    if (!profileName && !m_pCurProfile) return false;
    const std::string profile = profileName ? profileName : m_pCurProfile->GetName();
    if (!HasSavePath()) {
        LogSend(kLogWarning, "SaveManager::RemoveProfileFile failed due to uninitialized save path...");
        return false;
    }
    if (!IsSafeFileName(profile) || (fileName && !IsSafeFileName(fileName))) {
        LogSend(kLogWarning, "SaveManager::RemoveProfileFile failed - unsafe file name: %s, %s",
                fileName ? fileName : "(null)", profile.c_str());
        return false;
    }
    const std::string dir = std::string(m_SavePath) + "/" + profile + ".files";
    error_code ec;
    if (fileName) {
        const bool removed = fs::remove(dir + "/" + fileName, ec);
        return removed && !ec;
    }
    // Boost reports a missing path as an error too; only its type tells.
    if (fs::symlink_status(dir, ec).type() == fs::file_not_found) return true;
    if (ec) return false;
    // remove_all takes the directory itself too; success is its absence.
    fs::remove_all(dir, ec);
    if (ec) return false;
    return fs::symlink_status(dir, ec).type() == fs::file_not_found;
}

}  // namespace Zyn
