// The file-chooser portal's answer turned into a path: local file URIs with their escapes decoded,
// everything else refused. Expected paths are written out by hand.
#include "platform/desktop/portal_folder_chooser.h"

#include <gtest/gtest.h>

namespace vexa::desktop {
namespace {

TEST(PortalFolderChooser, LocalFileUrisBecomePathsWithTheirEscapesDecoded) {
    EXPECT_EQ(FileUriToPath("file:///home/a/Videos"), "/home/a/Videos");
    EXPECT_EQ(FileUriToPath("file:///home/a/My%20Videos"), "/home/a/My Videos");
    EXPECT_EQ(FileUriToPath("file://localhost/tmp/x"), "/tmp/x");
    EXPECT_EQ(FileUriToPath("file:///%E5%BD%95%E5%83%8F"), "/录像");  // UTF-8 bytes escaped one by one
    EXPECT_EQ(FileUriToPath("file:///a%2fb%2Fc"), "/a/b/c");          // either case of hex digits
    EXPECT_EQ(FileUriToPath("file:///"), "/");
}

TEST(PortalFolderChooser, OtherSchemesHostsAndBrokenEscapesAreRefused) {
    for (const char* uri :
         {"http://example.org/x", "smb://server/share", "file://server/share", "file:", "file://",
          "/plain/path", "file:///a%2", "file:///a%", "file:///a%zz", "file:///a%00b", "FILE:///a"}) {
        EXPECT_EQ(FileUriToPath(uri), std::nullopt) << uri;
    }
}

}  // namespace
}  // namespace vexa::desktop
