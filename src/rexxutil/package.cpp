#include <algorithm>
#include <array>
#include <cctype>
#include <exception>

#include "rexxutil/functions.hpp"
#include "rexxutil/rexxutil.hpp"

namespace tavmor::rexxutil {
namespace {

struct Entry {
  const char* name;  // as SysLoadFuncs registers it, and as the library exports it in lower case
  Function* function;
};

// A function that runs out of memory (a stem of a count the script made up) fails its call with
// Error 40 instead of ending the program: no exception may cross Regina's C frames.
template <Function* function>
APIRET guarded(PCSZ name, ULONG argc, PRXSTRING argv, PCSZ queue, PRXSTRING result) {
  try {
    return function(name, argc, argv, queue, result);
  } catch (const std::exception&) {
    return kBadCall;
  }
}

// Every function regutil offers on Unix (Regina 3.6), the stubs included.
constexpr std::array kPackage = {
    Entry{"REGMULTISTEMSORT", guarded<regMultiStemSort>},
    Entry{"REGSTEMDOOVER", guarded<regStemDoOver>},
    Entry{"REGSTEMREAD", guarded<regStemRead>},
    Entry{"REGSTEMSEARCH", guarded<regStemSearch>},
    Entry{"REGSTEMWRITE", guarded<regStemWrite>},
    Entry{"RXMESSAGEBOX", guarded<notImplemented>},
    Entry{"RXWINEXEC", guarded<notImplemented>},
    Entry{"SYSADDREXXMACRO", guarded<sysAddRexxMacro>},
    Entry{"SYSBOOTDRIVE", guarded<sysBootDrive>},
    Entry{"SYSCLEARREXXMACROSPACE", guarded<sysClearRexxMacroSpace>},
    Entry{"SYSCLOSEEVENTSEM", guarded<sysCloseEventSem>},
    Entry{"SYSCLOSEMUTEXSEM", guarded<sysCloseMutexSem>},
    Entry{"SYSCLS", guarded<sysCls>},
    Entry{"SYSCOPYOBJECT", guarded<sysCopyObject>},
    Entry{"SYSCREATEEVENTSEM", guarded<sysCreateEventSem>},
    Entry{"SYSCREATEMUTEXSEM", guarded<sysCreateMutexSem>},
    Entry{"SYSCREATESHADOW", guarded<sysCreateShadow>},
    Entry{"SYSCURPOS", guarded<sysCurPos>},
    Entry{"SYSCURSTATE", guarded<sysCurState>},
    Entry{"SYSDRIVEINFO", guarded<sysDriveInfo>},
    Entry{"SYSDRIVEMAP", guarded<notImplemented>},
    Entry{"SYSDROPFUNCS", guarded<sysDropFuncs>},
    Entry{"SYSDROPREXXMACRO", guarded<sysDropRexxMacro>},
    Entry{"SYSDUMPVARIABLES", guarded<sysDumpVariables>},
    Entry{"SYSFILEDELETE", guarded<sysFileDelete>},
    Entry{"SYSFILESEARCH", guarded<sysFileSearch>},
    Entry{"SYSFILESYSTEMTYPE", guarded<sysFileSystemType>},
    Entry{"SYSFILETREE", guarded<sysFileTree>},
    Entry{"SYSFROMUNICODE", guarded<sysFromUnicode>},
    Entry{"SYSGETERRORTEXT", guarded<sysGetErrorText>},
    Entry{"SYSGETFILEDATETIME", guarded<sysGetFileDateTime>},
    Entry{"SYSGETKEY", guarded<sysGetKey>},
    Entry{"SYSINI", guarded<sysIni>},
    Entry{"SYSLINVER", guarded<sysVersion>},
    Entry{"SYSLOADFUNCS", guarded<sysLoadFuncs>},
    Entry{"SYSLOADREXXMACROSPACE", guarded<sysLoadRexxMacroSpace>},
    Entry{"SYSMKDIR", guarded<sysMkDir>},
    Entry{"SYSMOVEOBJECT", guarded<sysMoveObject>},
    Entry{"SYSOPENEVENTSEM", guarded<sysOpenEventSem>},
    Entry{"SYSOPENMUTEXSEM", guarded<sysOpenMutexSem>},
    Entry{"SYSOS2VER", guarded<sysVersion>},
    Entry{"SYSPOSTEVENTSEM", guarded<sysPostEventSem>},
    Entry{"SYSPULSEEVENTSEM", guarded<sysPulseEventSem>},
    Entry{"SYSQUERYPROCESS", guarded<sysQueryProcess>},
    Entry{"SYSQUERYREXXMACRO", guarded<sysQueryRexxMacro>},
    Entry{"SYSRELEASEMUTEXSEM", guarded<sysReleaseMutexSem>},
    Entry{"SYSREORDERREXXMACRO", guarded<sysReorderRexxMacro>},
    Entry{"SYSREQUESTMUTEXSEM", guarded<sysRequestMutexSem>},
    Entry{"SYSRESETEVENTSEM", guarded<sysResetEventSem>},
    Entry{"SYSRMDIR", guarded<sysRmDir>},
    Entry{"SYSSAVEREXXMACROSPACE", guarded<sysSaveRexxMacroSpace>},
    Entry{"SYSSEARCHPATH", guarded<sysSearchPath>},
    Entry{"SYSSETFILEDATETIME", guarded<sysSetFileDateTime>},
    Entry{"SYSSETPRIORITY", guarded<sysSetPriority>},
    Entry{"SYSSLEEP", guarded<sysSleep>},
    Entry{"SYSSTEMCOPY", guarded<sysStemCopy>},
    Entry{"SYSSTEMDELETE", guarded<sysStemDelete>},
    Entry{"SYSSTEMINSERT", guarded<sysStemInsert>},
    Entry{"SYSSTEMSORT", guarded<sysStemSort>},
    Entry{"SYSSWITCHSESSION", guarded<notImplemented>},
    Entry{"SYSSYSTEMDIRECTORY", guarded<sysSystemDirectory>},
    Entry{"SYSTEMPFILENAME", guarded<sysTempFileName>},
    Entry{"SYSTEXTSCREENREAD", guarded<sysTextScreenRead>},
    Entry{"SYSTEXTSCREENSIZE", guarded<sysTextScreenSize>},
    Entry{"SYSTOUNICODE", guarded<sysToUnicode>},
    Entry{"SYSUTILVERSION", guarded<sysUtilVersion>},
    Entry{"SYSVERSION", guarded<sysVersion>},
    Entry{"SYSVOLUMELABEL", guarded<notImplemented>},
    Entry{"SYSWAITEVENTSEM", guarded<sysWaitEventSem>},
    Entry{"SYSWAITNAMEDPIPE", guarded<sysWaitNamedPipe>},
    Entry{"SYSWINDECRYPTFILE", guarded<sysWinCrypt>},
    Entry{"SYSWINENCRYPTFILE", guarded<sysWinCrypt>},
    Entry{"SYSWINVER", guarded<sysVersion>},
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
