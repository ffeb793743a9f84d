// Recordset answers from a router peer: loading, walking, typed reads, and writing back the
// wire form.
#include "router/serverconnectionheader.h"
#include "router/tcpiprecordset.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void checkShape(const TCPIPRecordSet &recordset)
{
    check(recordset.RecordCount() >= 0);
    check(recordset.capacity() >= recordset.RecordCount());
    check(recordset.capacity() % 100 == 0);
    const int position = recordset.AbsPosition();
    check(position >= 0 && position <= recordset.RecordCount() + 1);
    if (recordset.RecordCount() == 0)
        check(recordset.Eof() && recordset.BOF() && position == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = ServerConnectionHeader::fromWire(
        QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));

    TCPIPRecordSet recordset;
    recordset.Load(text);
    checkShape(recordset);

    QStringList names;
    for (int i = 1; i <= recordset.FieldCount(); ++i) {
        names.append(recordset.FieldName(i));
        check(recordset.lastErrorNumber() == 0);
        check(!names.last().isEmpty());
    }

    for (recordset.MoveFirst(); !recordset.Eof(); recordset.MoveNext()) {
        for (const QString &name : std::as_const(names)) {
            const QVariant value = recordset.Field(name);
            // A failed read always says why.
            check(value.isValid() || recordset.lastErrorNumber() == 0
                || !recordset.lastErrorDescription().isEmpty());
            const QString stored = recordset.AsString(recordset.AbsPosition(), name);
            check(recordset.lastErrorNumber() == 0);
            recordset.FormatValue(name, stored);
        }
    }
    recordset.MovePrevious();
    recordset.MoveAbs(recordset.RecordCount() / 2);
    checkShape(recordset);

    // Writing back the wire form and loading it again gives the same table. A table without
    // fields has no rows in the wire form, so it is left out.
    if (recordset.FieldCount() > 0) {
        TCPIPRecordSet copy;
        copy.Load(recordset.toDataText());
        check(copy.FieldCount() == recordset.FieldCount());
        check(copy.RecordCount() == recordset.RecordCount());
        for (const QString &name : std::as_const(names)) {
            check(copy.FieldType(name) == recordset.FieldType(name));
            for (int row = 1; row <= recordset.RecordCount(); ++row)
                check(copy.AsString(row, name) == recordset.AsString(row, name));
        }
    }

    // Local changes on top of what was loaded.
    if (!names.isEmpty()) {
        recordset.Add();
        recordset.SetValue(names.first(), text.left(16), recordset.FieldType(names.first()));
        recordset.AddField(text.left(8), TCPIPRecordSet::TypeText);
        checkShape(recordset);
    }
    return 0;
}
