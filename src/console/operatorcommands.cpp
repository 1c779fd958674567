#include "console/operatorcommands.h"

#include "base/cp1251.h"

namespace dorvan {

namespace {

// Why the name cannot be added; empty when it can.
QString refusalOf(const OperatorList &operators, const QString &name)
{
    // A character that chop.dat cannot hold would be stored as a substitute
    // byte: the name would show mangled and pass the duplicate check.
    if (!fitsCp1251(name))
        return QStringLiteral("Имя содержит недопустимые символы");
    if (toCp1251(name).size() > OperatorList::MaxNameLength)
        return QStringLiteral("Слишком длинное имя");
    if (operators.nameTaken(name))
        return QStringLiteral("Уже есть такой испытатель");
    return QString();
}

} // namespace

std::optional<int> Add_operator(OperatorList &operators, Prompter &prompter)
{
    if (operators.operatorCount() >= OperatorList::MaxOperators) {
        prompter.error(QStringLiteral("Слишком много фамилий испытателей"));
        return std::nullopt;
    }
    const auto answer = prompter.inputText(QStringLiteral("Пожалуйста,представьтесь"),
                                           QStringLiteral("Укажите Вашу фамилию"), QString());
    if (!answer || answer->isEmpty())
        return std::nullopt;
    // Composed, as a keyboard types it: "й" is one Windows-1251 character
    // whether or not it came as "и" and a combining breve.
    const QString name = answer->normalized(QString::NormalizationForm_C);
    const QString refusal = refusalOf(operators, name);
    if (!refusal.isEmpty()) {
        prompter.error(refusal);
        return std::nullopt;
    }
    return operators.addName(name);
}

bool Remove_operator(OperatorList &operators, Prompter &prompter, int index)
{
    if (index < 0 || index >= operators.operatorCount())
        return false;
    // The name on a line of its own, so the operator sees whom the answer removes.
    if (!prompter.askYesNo(QStringLiteral("Вы действительно хотите удалить фамилию этого испытателя ?\n\n")
                               + operators.operatorTable()[index].name,
                           QStringLiteral("Удаление")))
        return false;
    operators.removeEntry(index);
    return true;
}

} // namespace dorvan
