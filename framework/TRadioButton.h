// An automatic radio button: checking it unchecks the others of its group.
// `group` names the frame it belongs to (made before it); membership itself
// comes from the order of creation after that frame.
#pragma once

#include "TControl.h"

class TGroupBox;

class TRadioButton : public TControl {
public:
    TRadioButton(TWindow* parent, int id, const char* text, int x, int y, int w, int h, TGroupBox* group = nullptr);

    void Check() { SetCheck(BST_CHECKED); }
    void Uncheck() { SetCheck(BST_UNCHECKED); }
    void SetCheck(int state);
    int GetCheck() const;
    TGroupBox* GetGroup() const { return group_; }

protected:
    const char* ClassName() const override { return "BUTTON"; }

private:
    TGroupBox* group_;
};
