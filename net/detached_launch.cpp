#include "net/detached_launch.h"

#include "platform/process/detached_launch.h"

namespace vexa::net {

vexa::Error LaunchDetached(const std::filesystem::path& program, const std::string& argument) {
    return vexa::platform::LaunchDetached(program.string(), {program.string(), argument});
}

}  // namespace vexa::net
