// The user's country code: the international dialling prefix of the LC_TELEPHONE locale
// the environment names (LC_ALL, LC_TELEPHONE, LANG). Queried through a locale object of
// its own, so the process locale is never changed.
#include <langinfo.h>
#include <locale.h>

#include "platform.h"
#include "posix_shared.h"

namespace plat {

int32_t GetLocaleCountry(char* buffer, int32_t size) {
#if defined(__GLIBC__)
  locale_t telephone = newlocale(LC_TELEPHONE_MASK, "", locale_t{});
  if (telephone == locale_t{}) return 0;
  const int32_t result =
      posix::CopyCountryText(nl_langinfo_l(_NL_TELEPHONE_INT_PREFIX, telephone), buffer, size);
  freelocale(telephone);
  return result;
#else
  // Without the telephone category there is no country to tell.
  (void)buffer;
  (void)size;
  return 0;
#endif
}

}  // namespace plat
