#include <algorithm>
#include <array>
#include <cctype>

#include "rexxutil/functions.hpp"
#include "rexxutil/rexxutil.hpp"

namespace tavmor::rexxutil {
namespace {

struct Entry {
  const char* name;  // as SysLoadFuncs registers it, and as the library exports it in lower case
  Function* function;
};

// Every function regutil offers on Unix (Regina 3.6), the stubs included.
constexpr std::array kPackage = {
    Entry{"REGMULTISTEMSORT", regMultiStemSort},
    Entry{"REGSTEMDOOVER", regStemDoOver},
    Entry{"REGSTEMREAD", regStemRead},
    Entry{"REGSTEMSEARCH", regStemSearch},
    Entry{"REGSTEMWRITE", regStemWrite},
    Entry{"RXMESSAGEBOX", notImplemented},
    Entry{"RXWINEXEC", notImplemented},
    Entry{"SYSADDREXXMACRO", sysAddRexxMacro},
    Entry{"SYSBOOTDRIVE", sysBootDrive},
    Entry{"SYSCLEARREXXMACROSPACE", sysClearRexxMacroSpace},
    Entry{"SYSCLOSEEVENTSEM", sysCloseEventSem},
    Entry{"SYSCLOSEMUTEXSEM", sysCloseMutexSem},
    Entry{"SYSCLS", sysCls},
    Entry{"SYSCOPYOBJECT", sysCopyObject},
    Entry{"SYSCREATEEVENTSEM", sysCreateEventSem},
    Entry{"SYSCREATEMUTEXSEM", sysCreateMutexSem},
    Entry{"SYSCREATESHADOW", sysCreateShadow},
    Entry{"SYSCURPOS", sysCurPos},
    Entry{"SYSCURSTATE", sysCurState},
    Entry{"SYSDRIVEINFO", sysDriveInfo},
    Entry{"SYSDRIVEMAP", notImplemented},
    Entry{"SYSDROPFUNCS", sysDropFuncs},
    Entry{"SYSDROPREXXMACRO", sysDropRexxMacro},
    Entry{"SYSDUMPVARIABLES", sysDumpVariables},
    Entry{"SYSFILEDELETE", sysFileDelete},
    Entry{"SYSFILESEARCH", sysFileSearch},
    Entry{"SYSFILESYSTEMTYPE", sysFileSystemType},
    Entry{"SYSFILETREE", sysFileTree},
    Entry{"SYSFROMUNICODE", sysFromUnicode},
    Entry{"SYSGETERRORTEXT", sysGetErrorText},
    Entry{"SYSGETFILEDATETIME", sysGetFileDateTime},
    Entry{"SYSGETKEY", sysGetKey},
    Entry{"SYSINI", sysIni},
    Entry{"SYSLINVER", sysVersion},
    Entry{"SYSLOADFUNCS", sysLoadFuncs},
    Entry{"SYSLOADREXXMACROSPACE", sysLoadRexxMacroSpace},
    Entry{"SYSMKDIR", sysMkDir},
    Entry{"SYSMOVEOBJECT", sysMoveObject},
    Entry{"SYSOPENEVENTSEM", sysOpenEventSem},
    Entry{"SYSOPENMUTEXSEM", sysOpenMutexSem},
    Entry{"SYSOS2VER", sysVersion},
    Entry{"SYSPOSTEVENTSEM", sysPostEventSem},
    Entry{"SYSPULSEEVENTSEM", sysPulseEventSem},
    Entry{"SYSQUERYPROCESS", sysQueryProcess},
    Entry{"SYSQUERYREXXMACRO", sysQueryRexxMacro},
    Entry{"SYSRELEASEMUTEXSEM", sysReleaseMutexSem},
    Entry{"SYSREORDERREXXMACRO", sysReorderRexxMacro},
    Entry{"SYSREQUESTMUTEXSEM", sysRequestMutexSem},
    Entry{"SYSRESETEVENTSEM", sysResetEventSem},
    Entry{"SYSRMDIR", sysRmDir},
    Entry{"SYSSAVEREXXMACROSPACE", sysSaveRexxMacroSpace},
    Entry{"SYSSEARCHPATH", sysSearchPath},
    Entry{"SYSSETFILEDATETIME", sysSetFileDateTime},
    Entry{"SYSSETPRIORITY", sysSetPriority},
    Entry{"SYSSLEEP", sysSleep},
    Entry{"SYSSTEMCOPY", sysStemCopy},
    Entry{"SYSSTEMDELETE", sysStemDelete},
    Entry{"SYSSTEMINSERT", sysStemInsert},
    Entry{"SYSSTEMSORT", sysStemSort},
    Entry{"SYSSWITCHSESSION", notImplemented},
    Entry{"SYSSYSTEMDIRECTORY", sysSystemDirectory},
    Entry{"SYSTEMPFILENAME", sysTempFileName},
    Entry{"SYSTEXTSCREENREAD", sysTextScreenRead},
    Entry{"SYSTEXTSCREENSIZE", sysTextScreenSize},
    Entry{"SYSTOUNICODE", sysToUnicode},
    Entry{"SYSUTILVERSION", sysUtilVersion},
    Entry{"SYSVERSION", sysVersion},
    Entry{"SYSVOLUMELABEL", notImplemented},
    Entry{"SYSWAITEVENTSEM", sysWaitEventSem},
    Entry{"SYSWAITNAMEDPIPE", sysWaitNamedPipe},
    Entry{"SYSWINDECRYPTFILE", sysWinCrypt},
    Entry{"SYSWINENCRYPTFILE", sysWinCrypt},
    Entry{"SYSWINVER", sysVersion},
};

// Where regina finds the library, as its messages name it.
constexpr char kLibraryPath[] = "/usr/lib/x86_64-linux-gnu/regina-rexx/3.6/libregutil.so";

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

// regina's names for the library: "regutil" as the file is named, and "rexxutil" in any case,
// the name OS/2 gave the package.
bool isRexxUtil(std::string_view module) {
  return module == "regutil" || equalsIgnoringCase(module, "rexxutil");
}

Function* findEntry(std::string_view entry) {
  for (const Entry& e : kPackage) {
    if (equalsIgnoringCase(entry, e.name)) return e.function;
  }
  return nullptr;
}

}  // namespace

int addFunction(std::string_view name, std::string_view module, std::string_view entry,
                std::string& errorMessage) {
  if (!isRexxUtil(module)) {
    errorMessage = "dlopen() failed: lib" + std::string(module) +
                   ".so: cannot open shared object file: No such file or directory";
    return RXFUNC_MODNOTFND;
  }
  const std::string registered = upper(name);
  if (queryFunction(registered) == 0) return RXFUNC_DEFINED;
  Function* function = findEntry(entry);
  if (function == nullptr) {
    errorMessage =
        std::string("dlsym() failed: ") + kLibraryPath + ": undefined symbol: " + lower(entry);
    return RXFUNC_ENTNOTFND;
  }
  return static_cast<int>(RexxRegisterFunctionExe(registered.c_str(), function));
}

int queryFunction(std::string_view name) {
  return RexxQueryFunction(upper(name).c_str()) == RXFUNC_OK ? 0 : 1;
}

APIRET sysLoadFuncs(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  if (!Arguments(argc, argv).within(0, 0)) return kBadCall;
  for (const Entry& e : kPackage) RexxRegisterFunctionExe(e.name, e.function);
  return setResult(result, "0");
}

APIRET sysDropFuncs(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  if (!Arguments(argc, argv).within(0, 0)) return kBadCall;
  for (const Entry& e : kPackage) RexxDeregisterFunction(e.name);
  return setResult(result, "0");
}

}  // namespace tavmor::rexxutil
