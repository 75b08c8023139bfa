// How a POSIX stub tells vcpack its version: its image holds this text,
// followed by the version and a zero byte. A Windows stub has its version
// resource for that.
#pragma once

#define VCBOOT_STUB_VERSION_MARKER "vcboot stub version "
