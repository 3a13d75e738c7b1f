// Everything an editor needs of the view toolkit, in one include.
#pragma once

#include "gui/AEffGUIEditor.h"
#include "gui/CBitmap.h"
#include "gui/CButtons.h"
#include "gui/CControl.h"
#include "gui/CDrawContext.h"
#include "gui/CFileSelector.h"
#include "gui/CFrame.h"
#include "gui/CKnob.h"
#include "gui/COptionMenu.h"
#include "gui/CParamDisplay.h"
#include "gui/CTextEdit.h"
#include "gui/CView.h"
#include "gui/CViewContainer.h"
#include "gui/GuiTypes.h"
#include "gui/VstKeys.h"
