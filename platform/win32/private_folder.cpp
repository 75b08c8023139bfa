#include "platform/win32/private_folder.h"

#include <windows.h>
// After windows.h, whose types they use.
#include <sddl.h>

#include "platform/win32/scoped_handle.h"

namespace vcboot {
namespace {

// Room for a TOKEN_USER or TOKEN_OWNER, or a security descriptor with just
// an owner: a SID is at most 68 bytes.
constexpr DWORD kSmallBuffer = 256;

struct alignas(8) SmallBuffer {
  char bytes[kSmallBuffer];
};

// The SID of one item of the process's access token (TokenUser, TokenOwner),
// which it begins with, kept in `buffer`; null when it cannot be read.
PSID token_sid(TOKEN_INFORMATION_CLASS item, SmallBuffer& buffer) {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) {
    return nullptr;
  }
  const ScopedHandle token(raw);
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), item, buffer.bytes, kSmallBuffer,
                             &size)) {
    return nullptr;
  }
  return *reinterpret_cast<PSID*>(buffer.bytes);
}

}  // namespace

bool create_private_directory(const std::string& path) {
  SmallBuffer user;
  char* sid = nullptr;
  const PSID user_sid = token_sid(TokenUser, user);
  if (user_sid == nullptr || !::ConvertSidToStringSidA(user_sid, &sid)) {
    return false;
  }
  // P: no rights inherited from above; OICI: passed on to files and folders.
  const std::string rights = std::string("D:P(A;OICI;FA;;;") + sid +
                             ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  ::LocalFree(sid);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(
          rights.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return false;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  const BOOL made = ::CreateDirectoryA(path.c_str(), &attributes);
  const DWORD error = ::GetLastError();
  ::LocalFree(descriptor);
  ::SetLastError(error);
  return made != 0;
}

bool current_directory_is_own() {
  SmallBuffer descriptor;
  DWORD size = 0;
  PSID folder_owner = nullptr;
  BOOL defaulted = FALSE;
  if (!::GetFileSecurityA(".", OWNER_SECURITY_INFORMATION, descriptor.bytes,
                          kSmallBuffer, &size) ||
      !::GetSecurityDescriptorOwner(descriptor.bytes, &folder_owner,
                                    &defaulted) ||
      folder_owner == nullptr) {
    return false;
  }
  // Windows gives new objects the token's default owner (the Administrators
  // for an elevated administrator); Wine gives them the user.
  for (const TOKEN_INFORMATION_CLASS item : {TokenOwner, TokenUser}) {
    SmallBuffer token;
    const PSID sid = token_sid(item, token);
    if (sid != nullptr && ::EqualSid(folder_owner, sid)) return true;
  }
  return false;
}

}  // namespace vcboot
