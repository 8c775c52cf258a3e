#include "engine/codec_log.h"

#include <cstdlib>

extern "C" {
#include <libavutil/log.h>
}

namespace vexa::engine {

void SetCodecLogLevelFromEnvironment() {
    av_log_set_level(std::getenv("VEXA_VERBOSE") ? AV_LOG_INFO : AV_LOG_FATAL);
}

}  // namespace vexa::engine
