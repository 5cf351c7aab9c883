#include "ui/Resources.h"

#include <QtGlobal>

void InitQuilloraResources()
{
    Q_INIT_RESOURCE(quillora);
}
