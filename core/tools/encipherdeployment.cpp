// Build step: checks a deployment file and writes the C++ source of the
// enciphered table compiled into the client, so that no endpoint or key
// stands in the executable in plain text.
//
//   encipherdeployment <deployment.json> <output.cpp>

#include "core/deploymentfile.h"
#include "core/symmetriccipher.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>

namespace {
int failWith(const QString& message)
{
    std::fprintf(stderr, "encipherdeployment: %s\n", qPrintable(message));
    return 1;
}

// The Base64 text of the ciphertext, as the client stores it; empty stays empty.
bool encipher(const QString& plain, QString& stored)
{
    if (plain.isEmpty()) {
        stored.clear();
        return true;
    }
    QByteArray cipherText;
    QByteArray check;
    if (!SymmetricCipher::encrypt(plain.toLatin1(), cipherText) ||
        !SymmetricCipher::decrypt(cipherText, check) || check != plain.toLatin1()) {
        return false;
    }
    stored = QString::fromLatin1(cipherText.toBase64());
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        return failWith("usage: encipherdeployment <deployment.json> <output.cpp>");
    }
    CDeploymentFile deployment;
    if (!deployment.load(args.at(1))) {
        return failWith(args.at(1) + ": " + deployment.error());
    }
    for (const QString& key : deployment.unknownKeys()) {
        std::fprintf(stderr, "encipherdeployment: %s: warning: unknown key \"%s\" is ignored\n",
                     qPrintable(args.at(1)), qPrintable(key));
    }

    QString source;
    QTextStream out(&source);
    out << "// Generated at build time from the deployment file; do not edit.\n"
        << "#include \"core/deploymentdata.h\"\n\n"
        << "namespace DeploymentData {\n"
        << "const char* const kApiSlots[kApiSlotCount] = {\n";
    for (int slot = 0; slot < CDeploymentFile::kApiSlotCount; ++slot) {
        QString stored = deployment.apiSlots()[slot];
        // Slot 6 is the one plain slot of the table.
        if (slot != 6 && !encipher(deployment.apiSlots()[slot], stored)) {
            return failWith(QString("cannot encipher slot %1").arg(slot));
        }
        out << "    \"" << stored << "\",\n";
    }
    out << "};\n\nconst char* const kEntries[kEntryCount] = {\n";
    for (int i = 0; i < deployment.entries().size(); ++i) {
        QString stored;
        if (!encipher(deployment.entries().at(i), stored)) {
            return failWith("cannot encipher " + CDeploymentFile::entryKeys().at(i));
        }
        out << "    \"" << stored << "\",\n";
    }
    out << "};\n} // namespace DeploymentData\n";
    out.flush();

    QSaveFile file(args.at(2));
    if (!file.open(QIODevice::WriteOnly) || file.write(source.toLatin1()) < 0 || !file.commit()) {
        return failWith("cannot write " + args.at(2));
    }
    return 0;
}
