#include "tools/boardsim/python/PyViews.h"
#include "common/Printable.h"
#include "tools/boardsim/python/PyErrors.h"
#include "tools/boardsim/render/PadLines.h"
#include "tools/boardsim/render/StepLines.h"

#include <pybind11/stl.h>

namespace py = pybind11;

namespace boardsim::python {

std::vector<FaultView> FaultViews(const RunFaults& Faults) {
  std::vector<FaultView> views;
  for (const sim::GivenFault& fault : Faults.FromBoard) {
    views.push_back({fault.Key, fault.Value, true, std::nullopt, ""});
  }
  for (const std::string& point : Faults.Points) {
    views.push_back({point, std::nullopt, false, std::nullopt, ""});
  }
  for (size_t i = 0; i < views.size() && i < Faults.Struck.size(); ++i) {
    views[i].Struck = Faults.Struck[i];
    views[i].Where = DescribeStrike(Faults.Struck[i], Faults.Accesses);
  }
  return views;
}

PadRef PadOf(const std::string& Name, const char* Argument) {
  PadRef pad{};
  std::string error;
  if (!ParsePadRef(Name, pad, error)) {
    Refuse(ErrorKind::Pad, std::string(Argument) + ": '" + tools::Printable(Name) + "': " + error);
  }
  return pad;
}

TraceView::TraceView(std::shared_ptr<BoardSession> Session)
    : session_(std::move(Session)), accesses_(session_->WholeTrace()) {}

namespace {

const char* StepKindName(StepKind Kind) {
  switch (Kind) {
  case StepKind::PmicRead:
    return "pmic-read";
  case StepKind::PmicWrite:
    return "pmic-write";
  case StepKind::PadRead:
    return "pad-read";
  case StepKind::PadDriven:
    return "pad-driven";
  }
  return "?";
}

template <typename T> std::optional<T> If(bool Present, T Value) {
  return Present ? std::optional<T>(Value) : std::nullopt;
}

void AddAccess(py::module_& m) {
  py::class_<sim::Access>(m, "Access", "One register access of a run, as the trace writes it.")
      .def_readonly("seq", &sim::Access::Seq)
      .def_readonly("time_ns", &sim::Access::TimeNs)
      .def_property_readonly("op",
                             [](const sim::Access& A) { return std::string(sim::OpName(A.Op)); })
      .def_readonly("width", &sim::Access::Width)
      .def_readonly("address", &sim::Access::Address)
      .def_readonly("value", &sim::Access::Value)
      .def("__repr__", [](const sim::Access& A) { return "<Access " + sim::FormatAccess(A) + ">"; })
      .def("__str__", &sim::FormatAccess);

  py::class_<TraceView>(m, "Trace",
                        "Every access of a run; each becomes a Python object only "
                        "when it is reached.")
      .def("__len__", &TraceView::Size)
      .def(
          "__iter__",
          [](const TraceView& T) {
            return py::make_iterator(T.Accesses().begin(), T.Accesses().end());
          },
          py::keep_alive<0, 1>())
      .def("__getitem__", [](const TraceView& T, py::ssize_t I) {
        const auto size = static_cast<py::ssize_t>(T.Size());
        if (I < -size || I >= size) {
          throw py::index_error("trace index out of range");
        }
        return T.Accesses()[static_cast<size_t>(I < 0 ? I + size : I)];
      });
}

void AddBus(py::module_& m) {
  using sim::decode::I2cTransaction;
  py::class_<I2cTransaction>(m, "Transaction", "One PMIC bus transaction, read from the trace.")
      .def_readonly("time_ns", &I2cTransaction::TimeNs)
      .def_readonly("address", &I2cTransaction::Device)
      .def_readonly("ten_bit", &I2cTransaction::TenBit)
      .def_readonly("read", &I2cTransaction::Read)
      .def_property_readonly("register",
                             [](const I2cTransaction& T) { return If(T.HasRegister, T.Register); })
      .def_property_readonly("value",
                             [](const I2cTransaction& T) { return If(T.HasValue, T.Value); })
      .def_readonly("stopped", &I2cTransaction::Stopped)
      .def_readonly("aborted", &I2cTransaction::Aborted)
      .def_readonly("first_seq", &I2cTransaction::FirstSeq)
      .def_readonly("last_seq", &I2cTransaction::LastSeq)
      .def_readonly("end_ns", &I2cTransaction::LastNs)
      .def("__repr__", [](const I2cTransaction& T) {
        return "<Transaction " + sim::decode::FormatTransaction(T) + ">";
      });

  py::class_<FaultView>(m, "Fault", "A fault the run was given, and where it struck.")
      .def_readonly("fault", &FaultView::Fault)
      .def_readonly("value", &FaultView::Value)
      .def_readonly("from_board", &FaultView::FromBoard)
      .def_property_readonly("struck", [](const FaultView& F) { return F.Struck.has_value(); })
      .def_property_readonly("access",
                             [](const FaultView& F) {
                               return F.Struck ? std::optional(F.Struck->Access) : std::nullopt;
                             })
      .def_property_readonly("time_ns",
                             [](const FaultView& F) {
                               return F.Struck ? std::optional(F.Struck->TimeNs) : std::nullopt;
                             })
      .def_readonly("where", &FaultView::Where)
      .def("__repr__",
           [](const FaultView& F) { return "<Fault " + F.Fault + ": " + F.Where + ">"; });

  py::class_<StepItem>(m, "Step", "One effect of the board step.")
      .def_property_readonly("kind", [](const StepItem& S) { return StepKindName(S.Kind); })
      .def_readonly("time_ns", &StepItem::TimeNs)
      .def_readonly("device", &StepItem::Device)
      .def_readonly("register", &StepItem::Register)
      .def_readonly("value", &StepItem::Value)
      .def_readonly("community", &StepItem::Community)
      .def_readonly("pad", &StepItem::Pad)
      .def_readonly("high", &StepItem::High)
      .def_readonly("seq", &StepItem::Seq)
      .def("__str__", &DescribeStep)
      .def("__repr__", [](const StepItem& S) { return "<Step " + DescribeStep(S) + ">"; });
}

void AddPad(py::module_& m) {
  py::class_<PadFields>(m, "PadFields", "A pad's registers decoded, as the pad detail names them.")
      .def_readonly("mode", &PadFields::Mode)
      .def_property_readonly("gpio", [](const PadFields& F) { return F.Mode == 0; })
      .def_readonly("direction", &PadFields::Direction)
      .def_property_readonly("level", [](const PadFields& F) { return F.High ? "high" : "low"; })
      .def_readonly("pull_bits", &PadFields::PullBits)
      .def_readonly("pull", &PadFields::PullPattern)
      .def_readonly("nibble", &PadFields::Nibble)
      .def("__repr__", [](const PadFields& F) { return "<PadFields " + DescribeFields(F) + ">"; });

  py::class_<PadWords>(m, "PadRegisters", "A pad's two registers at one moment.")
      .def_readonly("config", &PadWords::Config)
      .def_readonly("value", &PadWords::Value)
      .def_property_readonly("fields", [](const PadWords& W) {
        return W.Config && W.Value ? std::optional(DecodePad(*W.Config, *W.Value)) : std::nullopt;
      });

  py::class_<PadTableRow>(m, "TableRow", "The row of the board's pad table that names a pad.")
      .def_readonly("row", &PadTableRow::Row)
      .def_property_readonly("direction", [](const PadTableRow& R) { return R.Entry.Direction; })
      .def_property_readonly("output_level",
                             [](const PadTableRow& R) { return R.Entry.OutputLevel; })
      .def_property_readonly("mode", [](const PadTableRow& R) { return R.Entry.Mode; })
      .def_property_readonly("nibble", [](const PadTableRow& R) { return R.Entry.ConfigNibble; })
      .def_property_readonly("pull", [](const PadTableRow& R) { return R.Entry.Pull; });

  py::class_<PadAccess>(m, "PadAccess",
                        "An access to a pad's registers, with the part of the run that made it.")
      .def_property_readonly("access", [](const PadAccess& A) { return A.Access; })
      .def_readonly("part", &PadAccess::Part)
      .def_readonly("row", &PadAccess::Row);

  py::class_<PadRecord>(m, "Pad", "What a run did to one pad.")
      .def_property_readonly("name", [](const PadRecord& P) { return FormatPadRef(P.Pad); })
      .def_property_readonly("community", [](const PadRecord& P) { return P.Pad.Community; })
      .def_property_readonly("number", [](const PadRecord& P) { return P.Pad.Pad; })
      .def_property_readonly(
          "table", [](const PadRecord& P) { return std::string(TableName(P.Pad.Community)); })
      .def_readonly("before", &PadRecord::Before)
      .def_readonly("after", &PadRecord::After)
      .def_property_readonly("changed", &PadRecord::Changed)
      .def_readonly("row", &PadRecord::Row)
      .def_readonly("accesses", &PadRecord::Accesses)
      .def("__str__",
           [](const PadRecord& P) {
             std::string text;
             for (const std::string& line : DescribePads({P})) {
               text += line + '\n';
             }
             return text;
           })
      .def("__repr__", [](const PadRecord& P) { return "<Pad " + FormatPadRef(P.Pad) + ">"; });

  py::class_<PadMap>(m, "PadMap", "The pads of a run by \"0x0000:93\"; see Run.pads.")
      .def("__getitem__",
           [](PadMap& M, const std::string& Name) { return M.Session->Pad(PadOf(Name, "pads")); })
      .def("__contains__",
           [](PadMap& M, const py::object& Key) {
             PadRef pad{};
             std::string error;
             if (!py::isinstance<py::str>(Key) ||
                 !ParsePadRef(Key.cast<std::string>(), pad, error)) {
               return false;
             }
             const std::vector<std::string>& names = M.Session->PadNames();
             return std::find(names.begin(), names.end(), FormatPadRef(pad)) != names.end();
           })
      .def("__len__", [](PadMap& M) { return M.Session->PadNames().size(); })
      .def("__iter__", [](PadMap& M) { return py::iter(py::cast(M.Session->PadNames())); })
      .def("keys", [](PadMap& M) { return M.Session->PadNames(); });
}

} // namespace

void AddViews(py::module_& m) {
  AddAccess(m);
  AddBus(m);
  AddPad(m);
}

} // namespace boardsim::python
