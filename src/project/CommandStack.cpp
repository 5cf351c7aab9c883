#include "project/CommandStack.h"

namespace quillora {

void TCommandStack::Push(std::unique_ptr<TEditCommand> command)
{
    Commands.resize(Position);
    Commands.push_back(std::move(command));
    if (Commands.size() > Limit)
        Commands.erase(Commands.begin());
    Position = Commands.size();
}

std::string TCommandStack::UndoName() const
{
    return CanUndo() ? Commands[Position - 1]->Name() : std::string();
}

std::string TCommandStack::RedoName() const
{
    return CanRedo() ? Commands[Position]->Name() : std::string();
}

void TCommandStack::Undo()
{
    if (!CanUndo())
        return;
    Commands[Position - 1]->Undo();
    --Position;
}

void TCommandStack::Redo()
{
    if (!CanRedo())
        return;
    Commands[Position]->Redo();
    ++Position;
}

void TCommandStack::Clear()
{
    Commands.clear();
    Position = 0;
}

} // namespace quillora
