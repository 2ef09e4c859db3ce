#pragma once
// A throw-away TLS identity for the test server: a new key and a self-signed certificate for the
// address 127.0.0.1, valid from a day ago to a day ahead, written as PEM files.

#include <filesystem>

namespace platform::testing {

// Throws std::runtime_error when the files cannot be made.
void writeSelfSignedCertificate(const std::filesystem::path& certificateFile,
                                const std::filesystem::path& keyFile);

}  // namespace platform::testing
