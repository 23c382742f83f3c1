// Output writes that report success with one byte fewer written than asked, which no
// fault of the stand-in layer produces: the test programs link plat::WriteBytes wrapped.
#pragma once

namespace sfxtest {

// While set, every successful write of at least one byte reports one byte fewer.
extern bool writesReportOneFewer;

}  // namespace sfxtest
