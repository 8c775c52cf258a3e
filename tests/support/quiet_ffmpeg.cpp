// Linked into every test binary that records: keeps the encoders' chatter out of the test logs.
extern "C" {
#include <libavutil/log.h>
}

namespace {
const int kQuiet = [] {
    av_log_set_level(AV_LOG_ERROR);
    return 0;
}();
}  // namespace
