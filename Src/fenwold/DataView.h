#pragma once
// The MELSEC server's data view: the framework's, on the program's form with
// the "Topic Info" and "Item Info" lists.
#include "kestrun/shell/server/DataView.h"

class CDataView : public CdsDataView {};
