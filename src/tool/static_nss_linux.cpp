// Linked into the statically linked tool only (tavmor-static, the portable archive's tavmor).
// Statically linked, the C library would load whatever name service nsswitch.conf lists, from
// the system's own C library, of another version, which cannot work inside this program. The tool
// asks a name service only for the name of a refused stub's owner: from /etc/passwd, as the
// launcher does, and by number where it is not there.
#include <nss.h>

namespace {

[[maybe_unused]] const int kNameServicesConfigured = [] {
  __nss_configure_lookup("passwd", "files");
  __nss_configure_lookup("group", "files");
  return 0;
}();

}  // namespace
