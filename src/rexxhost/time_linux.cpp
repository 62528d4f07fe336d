// Regina's archive calls localtime() and gmtime(), where its shared library calls the reentrant
// forms. glibc's localtime() looks at the time zone again on every call (a stat of
// /etc/localtime when TZ is unset: 67,948 of them for a program that walks a calendar), and
// localtime_r() only once, as under regina. The launcher is linked with --wrap for both, so that
// the archive's calls come here.
#include <ctime>

extern "C" {

std::tm* __wrap_localtime(const std::time_t* time) {
  thread_local std::tm result;
  return localtime_r(time, &result);
}

std::tm* __wrap_gmtime(const std::time_t* time) {
  thread_local std::tm result;
  return gmtime_r(time, &result);
}
}
