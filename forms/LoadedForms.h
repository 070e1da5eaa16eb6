#pragma once
// The program's loaded forms, in the order they were loaded: what shutdown walks to unload
// every other form.
#include <QList>
#include <QWidget>

void registerLoadedForm(QWidget* form);
void unregisterLoadedForm(QWidget* form);
QList<QWidget*> loadedForms();
