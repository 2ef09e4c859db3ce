#include "Velloran/app/CryptoLibrary.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdlib>

namespace {

bool sha256Works() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  return EVP_Digest("velloran", 8, digest, &length, EVP_sha256(), nullptr) == 1 && length == 32;
}

// Stands for a queue thread that hashes while the process exits. Registered before the library
// is first used, it runs after every exit handler the library could have installed.
void hashWhileExiting() {
  if (!sha256Works()) ::_exit(2);
}

// Each case runs in a fresh process: the first use of the library in a process decides its exit.
class CryptoLibraryTest : public ::testing::Test {
 protected:
  CryptoLibraryTest() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(CryptoLibraryTest, AHashAfterTheExitHandlersHaveRunStillWorks) {
  EXPECT_EXIT(
      {
        std::atexit(hashWhileExiting);
        velloran::keepCryptoLibraryUntilProcessEnd();
        if (!sha256Works()) ::_exit(3);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
