#include "RichEditActions.h"

#include "RichEdit.h"

void TRichEditAction::ExecuteTarget(TRichEdit* Target) {
    if (!Target)
        return;
    // Only the action's own style is written: a style that part of the
    // selection has is not reported, and writing it back would strip it.
    if (Target->SelAttributes.Style().testFlag(FStyle))
        Target->SelAttributes.ChangeStyle({}, FStyle);
    else
        Target->SelAttributes.ChangeStyle(FStyle, {});
}

void TRichEditAction::UpdateTarget(TRichEdit* Target) {
    FEnabled = Target && Target->Enabled();
    FChecked = Target && Target->SelAttributes.Style().testFlag(FStyle);
}
