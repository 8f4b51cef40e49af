// What the main window asks of the wizard's step logic: show the current
// step, and move on or back when the Next or Back button is clicked. The
// step logic (pages, installation, uninstallation) implements it.
#pragma once

class TStepLogic {
public:
    virtual ~TStepLogic() = default;

    virtual void Processar() = 0;
    virtual void Next() = 0;
    virtual void Back() = 0;
};
