// Everything of the component object model layer in one include.
#pragma once

#include "platform/com/com_api.h"
#include "platform/com/com_interfaces.h"
#include "platform/com/com_ptr.h"
#include "platform/com/com_types.h"
#include "platform/com/dispatch.h"
#include "platform/com/dispatch_thunk.h"
#include "platform/com/event_sink.h"
