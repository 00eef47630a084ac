#pragma once
// The Qt widgets behind the gadget facades (internal to the platform library), one header
// per kind of gadget. Each widget knows its gadget identifier and pushes a gadget event onto
// the queue for every notification the editor listens to; the facades in gadgets.h read
// and set them.

#include "platform/choicebox.h"     // ChoiceWidget, EditableChoiceWidget
#include "platform/eventsink.h"     // EventSink
#include "platform/explorer.h"      // FolderModel, ExplorerWidget
#include "platform/fields.h"        // TextFieldWidget, LabelWidget, ButtonWidget
#include "platform/imagegadget.h"   // ImageWidget
#include "platform/listview.h"      // RowSourceModel, HeldRows, ListWidget, RowListWidget
