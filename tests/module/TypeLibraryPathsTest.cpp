#include <gtest/gtest.h>

#include "module/TypeLibraryPaths.h"

namespace {

TEST(TypeLibraryPathsTest, HelpDirectoryEndsAtTheLastSeparatorOfAnyPlatform) {
    EXPECT_EQ(helpDirectoryOf("/usr/lib/libvelTesseraComm.so"), "/usr/lib/");
    EXPECT_EQ(helpDirectoryOf("C:\\Program Files\\vel\\velTesseraComm.dll"),
              "C:\\Program Files\\vel\\");
    EXPECT_EQ(helpDirectoryOf("C:velTesseraComm.dll"), "C:");
    EXPECT_EQ(helpDirectoryOf("velTesseraComm.dll"), "");
}

TEST(TypeLibraryPathsTest, TypeLibraryFileReplacesOnlyTheFileNamesExtension) {
    EXPECT_EQ(typeLibraryFileBeside("C:\\vel\\velTesseraComm.dll"), "C:\\vel\\velTesseraComm.tlb");
    EXPECT_EQ(typeLibraryFileBeside("/opt/vel.d/libvelTesseraComm"),
              "/opt/vel.d/libvelTesseraComm.tlb");
    EXPECT_EQ(typeLibraryFileBeside("archive.tar.gz"), "archive.tar.tlb");
    EXPECT_EQ(typeLibraryFileBeside("module"), "module.tlb");
}

}  // namespace
