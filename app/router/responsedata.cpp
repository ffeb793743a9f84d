#include "router/responsedata.h"

#include "router/serverconnectionheader.h"
#include "router/valuetext.h"

void ResponseData::LoadFromMessage(
    const QString &header, const QString &access, const QString &data)
{
    using namespace ServerConnectionHeader;
    m_header = header;
    m_access = access;
    m_data = data;
    m_fromClientId = GetHeaderField(header, Field::FromClientID);
    m_fromClientFunction = GetHeaderField(header, Field::FromClientFunction);
    m_toClientId = GetHeaderField(header, Field::ToClientID);
    m_toClientFunction = GetHeaderField(header, Field::ToClientFunction);
    m_sequence = ValueText::int32Value(GetHeaderField(header, Field::Sequence));
    m_fromRouterName = GetHeaderField(header, Field::FromRouterName);
    m_fromClientName = GetHeaderField(header, Field::FromClientName);
    m_fromUser = GetHeaderField(header, Field::FromUser);
    m_errorCode = ValueText::int32Value(GetHeaderField(header, Field::ErrorCode));
    m_errorText = GetHeaderField(header, Field::ErrorText);
    m_callbackName = GetHeaderField(header, Field::CallbackName);
}

QString ResponseData::ErrorText() const
{
    if (m_errorText.isEmpty() && m_errorCode != 0)
        return GetRequestErrorText(m_errorCode);
    return m_errorText;
}

QString GetRequestErrorText(qint32 code)
{
    switch (code) {
    case -6:
        return QStringLiteral("Send Busy.  Cannot send new request while waiting for answer.");
    case -5:
        return QStringLiteral(
            "Request could not be sent. Client not currently connected to Router.");
    case -4:
        return QStringLiteral("Invalid Request Parameters");
    case -3:
        return QStringLiteral("Request Timed Out without a response.");
    case -2:
        return QStringLiteral("Request Cancelled by User");
    case -1:
        return QStringLiteral("Valid Response Received");
    case 0:
        return {};
    case 1:
        return QStringLiteral("Invalid Router Request");
    case 2:
        return QStringLiteral("Error registering client with Router !!!");
    case 3:
        return QStringLiteral("Error registering client object with Router !!!");
    case 50:
        return QStringLiteral("Internal Router Database Error!!!");
    case 101:
        return QStringLiteral("Client off line");
    case 102:
        return QStringLiteral("Client not found");
    case 103:
        return QStringLiteral("Access Denied");
    case 104:
        return QStringLiteral("Client Already Connected");
    case 105:
        return QStringLiteral("Client Version Incompatibility");
    case 201:
        return QStringLiteral("Remote off line");
    case 301:
        return QStringLiteral("Invalid user ID");
    case 302:
        return QStringLiteral("Undetemined user access error");
    case 303:
        return QStringLiteral("User name already exists");
    case 304:
        return QStringLiteral("User name or password missing");
    case 305:
        return QStringLiteral("Invalid Password");
    case 501:
        return QStringLiteral("Halden Location Server Off Line");
    case 1100:
        return QStringLiteral("Invalid Device ID");
    case 1101:
        return QStringLiteral("Invalid Device Block");
    case 1102:
        return QStringLiteral("Device Off Line");
    case 1200:
        return QStringLiteral("Tarvik Gateway Driver ID not set to zero");
    case 1201:
        return QStringLiteral("Tarvik Gateway Driver ID not set to zero (notification)");
    case 2001:
        return QStringLiteral("Remote Device Busy");
    case 2002:
        return QStringLiteral("Command Error");
    case 2004:
        return QStringLiteral("Packing Error");
    case 2005:
        return QStringLiteral("In Progress");
    case 2011:
        return QStringLiteral("Checksum Error");
    case 2020:
        return QStringLiteral("Expansion Error");
    case 2021:
        return QStringLiteral("Expansion Checksum Error");
    case 2030:
        return QStringLiteral("Unknown Compression/Expansion Error");
    case 2040:
        return QStringLiteral("Packet Received");
    case 2041:
        return QStringLiteral("Packet Sent");
    case 3001:
        return QStringLiteral("Tarvik Driver On-line");
    case 3002:
        return QStringLiteral("Tarvik Driver Error: Serial Port Error");
    case 3003:
        return QStringLiteral("Tarvik Driver Error: Invalid Serial Port");
    case 3004:
        return QStringLiteral("Tarvik Driver Error: Serial Port Already In Use");
    case 3005:
        return QStringLiteral("Tarvik Driver Error: Gateway Not Responding");
    case 3006:
        return QStringLiteral("Tarvik Driver Error: Driver Off Line");
    case 3007:
        return QStringLiteral("Tarvik Driver Error: Ethernet Driver");
    case 4001:
        return QStringLiteral("Tarvik Driver Terminating Notifies");
    case 5001:
        return QStringLiteral("Could not save file");
    case 5002:
        return QStringLiteral("Could not open file");
    case 5003:
        return QStringLiteral("Invalid Directory");
    case 5004:
        return QStringLiteral("Reported file length does not match reported file length");
    case 5005:
        return QStringLiteral("Inavlid executable filename");
    case 5006:
        return QStringLiteral("Could not rename file");
    case 6001:
        return QStringLiteral("Invalid Event ID");
    case 7001:
        return QStringLiteral("Driver Request Stack Full");
    case 8001:
        return QStringLiteral("Film not found");
    case 9001:
        return QStringLiteral("Internal Tarvik Driver Database Error!!!");
    default:
        return QStringLiteral("Unknow Error");
    }
}
