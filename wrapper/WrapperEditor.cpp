// CPluginWrapper: the effect's editor inside the host's view window (see EditorWindow.h).
// Main thread.
#include "wrapper/CPluginWrapper.h"
#include "wrapper/EditorWindow.h"

namespace {
constexpr int kViewOptionShift = 32;  // view option 1 moves the editor down by this, pixels
}

void CPluginWrapper::defaultEditorRect(int* right, int* bottom) const {
    *right = 480;
    *bottom = 60 * ((numParams_ - 1) / 6 + 1);  // one row of 60 pixels per six parameters
}

void CPluginWrapper::readEditorRect(int* top, int* left, int* bottom, int* right) {
    ERect* rect = nullptr;
    dispatch(effEditGetRect, 0, 0, &rect);
    if (rect == nullptr) {  // an editor that has no size yet: the default area
        *top = *left = 0;
        defaultEditorRect(right, bottom);
        return;
    }
    *top = rect->top;
    *left = rect->left;
    *bottom = rect->bottom;
    *right = rect->right;
}

void CPluginWrapper::OpenEditor(std::uintptr_t parent) {
    parentWindow_ = parent;
    if (!loaded_ || editorOpen_) return;
    int parentWidth = 0, parentHeight = 0;
    if (!wrapper::clientSize(parent, &parentWidth, &parentHeight)) return;
    const std::uintptr_t child = wrapper::createChildWindow(parent, this);
    if (child == 0) return;
    childWindow_ = child;

    int top = 0, left = 0, bottom = 0, right = 0;
    if (effect_->flags & effFlagsHasEditor) {
        dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(child));
        readEditorRect(&top, &left, &bottom, &right);
    } else {
        defaultEditorRect(&right, &bottom);
    }
    placeEditor(parentWidth, parentHeight, top, left, bottom, right);

    dispatch(effEditIdle);
    wrapper::showWindow(child);
    wrapper::redrawWindow(child);
    editorOpen_ = true;
    refreshCountdown_ = 2;
}

void CPluginWrapper::placeEditor(int parentWidth, int parentHeight, int top, int left, int bottom,
                                 int right) {
    if (viewOption_ == 1) {
        top += kViewOptionShift;
        bottom += kViewOptionShift;
    }
    const int width = right - left;
    const int x = width < parentWidth ? (parentWidth - width) / 2 : 0;
    const int y = parentHeight - bottom;
    // Width w + x: when centred the child reaches the parent's right edge.
    wrapper::placeWindow(childWindow_, x, y, width + x, bottom - top);
    editorWidth_ = width;
    editorHeight_ = bottom - top;
}

bool CPluginWrapper::ResizeEditor(int width, int height) {
    if (!editorOpen_ || width < 1 || height < 1) return false;
    int parentWidth = 0, parentHeight = 0;
    if (!wrapper::clientSize(parentWindow_, &parentWidth, &parentHeight)) return false;
    // The editor changed its zoom: placed by the open rules at its new size.
    placeEditor(parentWidth, parentHeight, 0, 0, height, width);
    wrapper::redrawWindow(childWindow_);
    return true;
}

void CPluginWrapper::CloseEditor() {
    if (!editorOpen_) return;
    editorOpen_ = false;
    dispatch(effEditClose);
    wrapper::destroyWindow(childWindow_);
    childWindow_ = 0;
}

void CPluginWrapper::EditorWindowDestroyed(std::uintptr_t window) {
    if (!editorOpen_ || window != childWindow_) return;
    editorOpen_ = false;
    childWindow_ = 0;
    dispatch(effEditClose);  // the effect's own window went with ours
}

void CPluginWrapper::GetEditorSize(int* width, int* height) {
    int w = 0, h = 0;
    if (loaded_) {
        int top = 0, left = 0, bottom = 0, right = 0;
        if (!(effect_->flags & effFlagsHasEditor)) {
            defaultEditorRect(&right, &bottom);
        } else if (editorOpen_) {
            readEditorRect(&top, &left, &bottom, &right);
        } else {
            // Opened once in a temporary window so the editor knows its size. Without a display
            // the rectangle is asked for without opening.
            const std::uintptr_t temporary = wrapper::createChildWindow(0, nullptr);
            if (temporary != 0) dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(temporary));
            readEditorRect(&top, &left, &bottom, &right);
            if (temporary != 0) {
                dispatch(effEditClose);
                wrapper::destroyWindow(temporary);
            }
        }
        w = right;
        h = bottom;
    }
    if (width) *width = w;
    if (height) *height = h;
}

void CPluginWrapper::EditorIdle() {
    wrapper::dispatchWindowEvents();
    if (refreshCountdown_ > 0) --refreshCountdown_;
    if (editorOpen_) dispatch(effEditIdle);
}

void CPluginWrapper::RedrawEditor() {
    if (editorOpen_) wrapper::redrawWindow(childWindow_);
}
