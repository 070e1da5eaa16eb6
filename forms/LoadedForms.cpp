#include "LoadedForms.h"

static QList<QWidget*>& forms() {
    static QList<QWidget*> list;
    return list;
}

void registerLoadedForm(QWidget* form) {
    if (!forms().contains(form))
        forms().append(form);
}

void unregisterLoadedForm(QWidget* form) {
    forms().removeAll(form);
}

QList<QWidget*> loadedForms() {
    return forms();
}
