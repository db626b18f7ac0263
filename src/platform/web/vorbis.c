// Debian's libstb-dev: the whole Ogg Vorbis decoder in one header, built once here. The
// page decodes the clips itself rather than through the browser's Ogg support, which not
// every engine has.
#define STB_VORBIS_NO_STDIO
#define STB_VORBIS_NO_PUSHDATA_API
#include <stb/stb_vorbis.h>
