// A fresh folder under the system's temporary folder, removed with its contents at the end.
#ifndef TESTS_SUPPORT_TEMPORARY_FOLDER_H
#define TESTS_SUPPORT_TEMPORARY_FOLDER_H

#include <boost/filesystem.hpp>

class TemporaryFolder {
public:
    TemporaryFolder()
        : folder(boost::filesystem::temp_directory_path() /
                 boost::filesystem::unique_path("fpp-test-%%%%-%%%%-%%%%")) {
        boost::filesystem::create_directories(folder);
    }
    ~TemporaryFolder() {
        boost::system::error_code ignored;
        boost::filesystem::remove_all(folder, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const boost::filesystem::path& path() const { return folder; }

private:
    boost::filesystem::path folder;
};

#endif
