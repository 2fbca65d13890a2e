// What zynpac's commands share: the commands themselves, opening a pack
// through the framework, copying a member out, the member-name rules that
// create and extract both apply, and names made safe to print.
// Every command reports through ZynTool::Error and returns a ZynTool exit status.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <zyn/io/PacPackage.h>

#include "CommandArgs.h"

namespace Zynpac {

/// Each command takes main's argv; its options start at argv[2].
int Create(int argc, char** argv);
int List(int argc, char** argv);
int Extract(int argc, char** argv);
int Cat(int argc, char** argv);
int Verify(int argc, char** argv);

/// Lets the framework's information lines through when -v was given.
void ApplyVerbose(const ZynTool::Args& args);

/// Holds one reference to a pack opened through the framework.
class OpenedPack {
public:
    explicit OpenedPack(const std::string& path);
    ~OpenedPack();
    OpenedPack(const OpenedPack&) = delete;
    OpenedPack& operator=(const OpenedPack&) = delete;
    Zyn::PacPackage* operator->() const { return m_pPack; }
    Zyn::PacPackage& operator*() const { return *m_pPack; }

private:
    Zyn::PacPackage* m_pPack;  // one reference, released by the destructor
};

/// Opens the pack at path through the framework. Null, after reporting why,
/// when the file cannot be read at all (missing, no permission, a folder).
[[nodiscard]] std::unique_ptr<OpenedPack> OpenPack(const std::string& path);

typedef std::vector<std::pair<std::string, Zyn::PacPackage::file_entry>> MemberList;

/// The pack's members in file order (then by name), as the framework reads them.
MemberList MembersInFileOrder(const Zyn::PacPackage& pack);

enum class CopyResult { kOk, kReadFailed, kWriteFailed };

/// Copies a member's bytes to the descriptor. kReadFailed when the pack
/// served fewer bytes than size; kWriteFailed with errno set by the write.
[[nodiscard]] CopyResult CopyMember(Zyn::PacPackage& pack, const std::string& name, uint32_t size, int fd);

/// The folders and file a member unpacks to ("fx\a.zyn" gives {"fx", "a.zyn"};
/// "." and empty parts dropped), or nothing when the name is empty, absolute,
/// has a drive prefix ("C:") or a ".." part. Both separators count.
std::vector<std::string> SafeComponents(const std::string& name);

/// The name with control characters (C0, DEL, C1) and bytes that are not
/// UTF-8 written as \xNN, so that printing it cannot drive the terminal.
std::string Printable(const std::string& name);

}  // namespace Zynpac
