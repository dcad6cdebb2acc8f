// ClassTable.cpp: the four creatable classes.
#include "server/ClassTable.h"

#include "objects/XField.h"
#include "objects/XFields.h"
#include "objects/XForm.h"
#include "progress/XProgress.h"

std::span<const ClassEntry> ClassTable()
{
    static const ClassEntry theTable[] = {
        {CLSID_XForm, "Ferrolift4.XForm.4", "Ferrolift4.XForm", "XForm Class", IID_IXForm, &XForm::CreateInstance},
        {CLSID_XField, "Ferrolift4.XField.4", "Ferrolift4.XField", "XField Class", IID_IXField,
         &XField::CreateInstance},
        {CLSID_XFields, "Ferrolift4.XFields.4", "Ferrolift4.XFields", "XFields Class", IID_IXFields,
         &XFields::CreateInstance},
        {CLSID_XProgress, "Ferrolift4.XProgress.4", "Ferrolift4.XProgress", "XProgress Class", IID_IXProgress,
         &XProgress::CreateInstance},
    };
    return theTable;
}
