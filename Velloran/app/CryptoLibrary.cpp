#include "Velloran/app/CryptoLibrary.h"

#include <openssl/crypto.h>

namespace velloran {

void keepCryptoLibraryUntilProcessEnd() {
  // Should the library refuse (it was stopped already), it stays as it was: nothing else to do.
  (void)OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
}

}  // namespace velloran
