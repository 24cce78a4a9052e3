// An interface that reaches up into its own Qt implementation.
#pragma once
#include <platform/qt/qt_settings_store.h>
