#pragma once

#include "app/receipts/ReceiptHistoryModel.h"

#include <QtQml/qqml.h>

// The history's model as QML knows it; the program links the model without QML.

struct ReceiptHistoryModelForeign
{
    Q_GADGET
    QML_FOREIGN(ReceiptHistoryModel)
    QML_NAMED_ELEMENT(ReceiptHistoryModel)
    QML_UNCREATABLE("constructed by the application")
};
