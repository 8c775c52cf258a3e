// Compiled together with net/deployment.cpp as a packager's plain build compiles it: without the test
// seams (tests/net/CMakeLists.txt).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "net/deployment.h"
#include "net/deployment_values.h"

namespace vexa::net {
namespace {

TEST(PlainBuild, EnvironmentCannotRedirectTheProgramToAnotherServer) {
    ::setenv("VEXA_SERVER_BASE_URL", "http://attacker.invalid", 1);
    ::setenv("VEXA_SERVER_PUBLIC_KEY_FILE", "/nonexistent/key.pem", 1);
    ::setenv("VEXA_SERVER_CA_FILE", "/tmp/attacker-ca.pem", 1);
    auto deployment = LoadDeployment();
    ASSERT_TRUE(deployment.ok()) << deployment.error().message();
    std::string builtIn = kBuiltInBaseUrl;
    while (builtIn.ends_with('/')) builtIn.pop_back();
    EXPECT_EQ(deployment->baseUrl, builtIn);
    EXPECT_EQ(deployment->publicKeyPem, DecipherStoredKey(kBuiltInStoredKey));
    EXPECT_TRUE(deployment->caFile.empty());
}

}  // namespace
}  // namespace vexa::net
