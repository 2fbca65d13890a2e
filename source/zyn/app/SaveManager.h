// The user's persistent objects: profiles (group 0) and settings objects
// (group 1), one object stream file each in the save directory, plus
// "general.dat" naming the current profile. A process-wide singleton on the
// frame thread; it owns what is inserted into it. Files in the save directory
// are outside data: whatever they hold, loading skips what it cannot read.
#pragma once

#include <string>

#include <zyn/core/DynGroupObject.h>
#include <zyn/core/Singleton.h>

namespace Zyn {

class File;

class SaveManager : public DynGroupObject {
    ZYN_DECLARE_CLASS(SaveManager)

public:
    enum Group { kProfiles = 0, kSettings = 1 };
    /// Size of the save path buffer, terminator included.
    static constexpr unsigned int kSavePathSize = 256;

    /// Created by Singleton<SaveManager>::Get(); inserts itself into Root.
    SaveManager();
    ~SaveManager() override;

    /// Points the manager at "<preferences>/<appName>_<subName>" (or
    /// "<appName>_<subName>" in the working directory when there is no
    /// preferences folder), creates that directory and loads everything in it.
    /// A path that does not fit the save path buffer, or names with a "/",
    /// are refused with a log line and change nothing.
    void Load(const char* appName, const char* subName);
    /// Loads every ".profile" and ".setting" file of the save directory and
    /// the current profile from "general.dat". Unreadable files are skipped.
    void LoadEverything();
    /// Writes "general.dat" and one file per profile and settings object.
    /// Every file goes to a temporary name first and replaces the old one only
    /// when all of them were written; false (logged) when anything failed, and
    /// then the files that were there before are untouched. The arguments are
    /// not used.
    [[nodiscard]] bool Save(unsigned int flags, bool force);

    /// False for null, for names that would make unsafe file names and for a
    /// name equal, ignoring case, to a profile's name.
    bool IsProfileNameValid(const char* name);

    /// -2 (logged) for null and for names IsProfileNameValid refuses, in any
    /// group. A new profile gets its "<name>.files" directory.
    int InsertObject(Object* obj, int group, unsigned int position, void* extra) override;
    /// Removing a profile deletes its file and its "<name>.files" directory.
    /// Afterwards the first profile is current.
    int RemoveObject(Object* obj, int group) override;
    /// Drops every profile and settings object without touching the files.
    void Clear();

    /// Null clears; otherwise obj becomes current only when it is a profile here.
    void SetCurProfile(Object* obj);
    /// Borrowed; null when there is no current profile.
    Object* GetCurProfile() { return m_pCurProfile; }

    /// Opens "<save>/<profile>.files/<fileName>" with a stdio mode; the profile
    /// is profileName or, when null, the current one. New stream owned by the
    /// caller, or null (no profile, no save path, unsafe names, open failed).
    File* OpenProfileFile(const char* fileName, const char* mode, const char* profileName);
    /// With fileName, deletes that file of the profile; without, deletes the
    /// profile's directory with everything in it. True when it is gone
    /// (also when it never existed, for the directory).
    bool RemoveProfileFile(const char* fileName, const char* profileName);

    /// The singleton owns the manager: releasing the last reference keeps it.
    void DeleteThis() override {}

    /// When true (the default) the destructor saves.
    void SetSaveOnDestruction(bool save) { m_bSaveOnDestruction = save; }
    bool IsSavingOnDestruction() const { return m_bSaveOnDestruction; }
    /// Empty until Load.
    const char* GetSavePath() const { return m_SavePath; }

    static void RegisterProps(Class* cls);

private:
    bool HasSavePath() const;
    bool IsInProfiles(Object* obj) const;
    void UnlinkFromParents();

    Object* m_pCurProfile = nullptr;  // borrowed: one of the profiles, or null
    StdListDynGroup<Object> m_Profiles;
    StdListDynGroup<Object> m_Settings;
    char m_SavePath[kSavePathSize];
    bool m_bSaveOnDestruction = true;
};

}  // namespace Zyn
