// The whole exported interface of the platform dump library, and the
// platform types it uses.
#pragma once

#include "dumpCCMOperationLock.h"
#include "dumpCollections.h"
#include "dumpErrl.h"
#include "dumpExport.h"
#include "dumpStatusLogger.h"
#include "dumpTypes.h"
#include "dumpUsrData.h"
#include "dumpUtilFile.h"
#include "platform/errlEntry.h"
#include "platform/netcMessage.h"
#include "platform/posixFs.h"
#include "platform/rmgr.h"
#include "platform/rtim.h"
#include "platform/srciSrc.h"
#include "platform/trace.h"
#include "platform/utilFile.h"
#include "platform/utilReg.h"
#include "platform/utilSemaphore.h"
