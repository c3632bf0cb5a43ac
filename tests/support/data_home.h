// Points XDG_DATA_HOME (the local application-data folder on Linux) at a fresh temporary
// folder for the life of this object; afterwards the previous value is restored and the
// folder removed. Use one per test, so that tests can run in parallel.
#ifndef SUPPORT_DATA_HOME_H
#define SUPPORT_DATA_HOME_H

#include "support/temporary_folder.h"
#include <boost/filesystem/path.hpp>
#include <boost/optional.hpp>
#include <string>

class TemporaryDataHome {
public:
    TemporaryDataHome();
    ~TemporaryDataHome();
    TemporaryDataHome(const TemporaryDataHome&) = delete;
    TemporaryDataHome& operator=(const TemporaryDataHome&) = delete;

    const boost::filesystem::path& path() const { return folder.path(); }

private:
    TemporaryFolder folder;
    boost::optional<std::string> previous;
};

#endif
