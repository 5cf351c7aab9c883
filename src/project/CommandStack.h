// Undo and redo for any kind of edit: a list of done commands and a position
// in it. Qt-free, so the program, the command-line tools and the tests share
// one history.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace quillora {

class TEditCommand {
  public:
    virtual ~TEditCommand() = default;
    // What the menu says: "Undo " + Name.
    virtual std::string Name() const = 0;
    // Each throws when it cannot be done and then leaves things as they were.
    virtual void Undo() = 0;
    virtual void Redo() = 0;
};

class TCommandStack {
  public:
    // Oldest commands are forgotten beyond this many.
    explicit TCommandStack(size_t limit = 500) : Limit(limit ? limit : 1) {}

    // A command already done; drops whatever could have been redone.
    void Push(std::unique_ptr<TEditCommand> command);

    bool CanUndo() const { return Position > 0; }
    bool CanRedo() const { return Position < Commands.size(); }
    // Empty when there is nothing to undo or redo.
    std::string UndoName() const;
    std::string RedoName() const;

    // A command that throws stays where it was, so it can be tried again.
    void Undo();
    void Redo();
    void Clear();
    size_t Size() const { return Commands.size(); }

  private:
    std::vector<std::unique_ptr<TEditCommand>> Commands;
    size_t Position = 0; // commands before it are done
    size_t Limit;
};

} // namespace quillora
