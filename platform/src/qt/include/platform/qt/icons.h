// The images of the dialog layer's icons, for drawing and tests.
#pragma once

#include "platform/afx/resources.h"

#include <QIcon>

const QIcon& AfxIconImage(HICON icon);
