#pragma once
// The SDK as the application sees it: one include for configuring the SDK, reading its options and
// version, setting its log level, and telling it about the application's own state. Everything the
// application may use of the SDK is reached from here; the headers of the SDK's targets that are not
// under an `include/` folder are internal to that target and cannot be included from outside it.

#include "sdk-core/ApplicationNotifications.h"
#include "sdk-core/BCNApp.h"
#include "sdk-core/BCNConfiguration.h"
#include "sdk-core/BCNLogger.h"
#include "sdk-core/BCNOptions.h"
#include "sdk-core/BCNSDKVersion.h"
#include "sdk-core/CoreError.h"
