#pragma once

#include <QString>

#include <functional>

/// What a client inside the router process answers to one request.
struct LocalAnswer
{
    qint32 errorCode = 0;
    QString errorText;
    QString data; // the data section
};

/// \brief A router client that lives inside the router process, such as the built-in driver.
///
/// The router lists it among its clients and hands it every request addressed to its ID.
struct LocalClient
{
    QString id; // upper case, as header readers give IDs
    QString name;
    qint32 type = 0;
    QString typeName;
    std::function<LocalAnswer(const QString &function, const QString &data)> answer;
};
