// A temporary folder of the test's own, removed with everything in it.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

class Folder {
public:
    Folder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "bc245xlt-test-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
        namespace fs = std::filesystem;
        fs::permissions(path,
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    std::filesystem::path path;
};
