// The folder zynpac unpacks into, and the only place it writes. Every path
// is resolved beneath the folder's descriptor and no symbolic link is ever
// followed, whatever the folder already holds: openat2 confined beneath the
// folder where the kernel has it, else one component at a time with
// O_NOFOLLOW. A file is written under a temporary name and renamed into
// place, so that a failed member leaves nothing behind and an existing file
// (a hard link to something elsewhere, say) is replaced, never written through.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ZynpacShared.h"

namespace Zynpac {

class UnpackFolder {
public:
    UnpackFolder() = default;
    ~UnpackFolder();
    UnpackFolder(const UnpackFolder&) = delete;
    UnpackFolder& operator=(const UnpackFolder&) = delete;

    /// Opens the folder at path, creating it and its parents when missing;
    /// path itself is the user's choice and may pass through links. False
    /// after reporting why it cannot be used.
    [[nodiscard]] bool Open(const std::string& path);

    /// Writes the file at parts (folders, then the file name; see
    /// SafeComponents) beneath the folder, making the folders it lacks, with
    /// the bytes fill writes to the descriptor it is given. False after
    /// reporting why, naming the member; then neither the file nor a folder
    /// made for it is left.
    [[nodiscard]] bool WriteFile(const std::string& member, const std::vector<std::string>& parts,
                                 const std::function<CopyResult(int fd)>& fill);

private:
    /// Descriptor of the folder holding the file (m_Fd or one of chain), or
    /// -1 after reporting. chain gets the folders opened, in order; made the
    /// indices of the parts created on the way.
    int OpenFolders(const std::string& member, const std::vector<std::string>& parts, std::vector<int>& chain,
                    std::vector<size_t>& made);
    /// The path of parts[0..count) as the user knows it, for messages.
    std::string Shown(const std::vector<std::string>& parts, size_t count) const;

    std::string m_Path;
    int m_Fd = -1;
    bool m_bHasOpenat2 = true;  // false once the kernel said it has no openat2
    unsigned m_TempCount = 0;
};

}  // namespace Zynpac
