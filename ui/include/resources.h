#pragma once

#include "platform/afx.h"

// The dialogs, strings and icon of the application.
const ResourceTable& BackupResources();
