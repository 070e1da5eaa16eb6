#pragma once
// Operating-system lookups: special folders and the log-on user name.
#include <QString>

// The path of a special folder (5 documents, 9 Send-to); empty when there is none.
QString gsGetSpecialFolder(qintptr hnHwnd, qint32 hnCode);
// The log-on user name, lower-cased.
QString gsGetUserName();
