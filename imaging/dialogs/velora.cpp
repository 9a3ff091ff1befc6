#include "velora.h"

namespace velora {

TVelora::TVelora(QWidget* parent) : TVeloraView(parent), Proc_(&GetProc()), IO_(&GetIO()) {
  Proc_->AutoUndo = true;
}

void TVelora::Assign(TVelora* source) {
  if (source) IO_->AssignIOParams(source->IO());
  TVeloraView::Assign(source);
}

}  // namespace velora
